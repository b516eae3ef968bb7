#include "ftp/ftp_listing.h"

#include <string_view>

#include "core/log.h"
#include "core/settings.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "ftp/curl_ftp_session.h"
#include "ftp/ftp_list_parse.h"

namespace winorvex {

namespace {

constexpr std::size_t kDescriptionMax = 1024;
// A listing beyond this is not a reader's log folder; it ends with an error rather than eat memory.
constexpr std::size_t kListingMaxBytes = 64u << 20;

struct ListingBuffer {
    std::string text;
    bool tooLarge = false;
};

std::size_t AppendListing(char* data, std::size_t size, std::size_t count, void* user) {
    auto* buffer = static_cast<ListingBuffer*>(user);
    const std::size_t length = size * count;
    if (buffer->text.size() + length > kListingMaxBytes) {
        buffer->tooLarge = true;
        return 0;
    }
    buffer->text.append(data, length);
    return length;
}

}  // namespace

int ListRemoteFiles(const std::string& site, const std::string& user, const std::string& password,
                    const std::string& folder, const std::string& pattern, std::vector<CFtpFileDesc>& files,
                    std::string& errorText, const FtpTimeouts& timeouts, const std::atomic<bool>* abort) {
    errorText.clear();
    const bool passive = ReadSettingInt("FtpSettings", "BGetFileListInPassiveMode", 1) != 0;
    if (!ftp_detail::IsUsableSite(site)) {
        errorText = Format("Can't connect to site %s", ftp_detail::SiteForText(site).c_str());
        return -2;
    }
    ftp_detail::CurlFtpSession session({site, user, password, passive, timeouts, abort});
    if (!session.IsValid()) {
        errorText = "curl_easy_init failed";
        return 1;
    }
    ListingBuffer buffer;
    curl_easy_setopt(session.Handle(), CURLOPT_WRITEFUNCTION, &AppendListing);
    curl_easy_setopt(session.Handle(), CURLOPT_WRITEDATA, &buffer);
    const CURLcode code = session.Perform(ftp_detail::FolderUrl(site, folder));
    if (code != CURLE_OK) {
        if (session.FailurePoint() == ftp_detail::FtpFailurePoint::Login) {
            errorText = Format("Can't connect to site %s", ftp_detail::SiteForText(site).c_str());
            return -2;
        }
        if (!folder.empty() && session.FailurePoint() == ftp_detail::FtpFailurePoint::ChangeFolder) {
            const long reply = session.LastReplyCode();
            const long number = reply >= 400 ? reply : static_cast<long>(code);
            errorText =
                Format("SetCurrentDirectory Error: %d (0x%X)", static_cast<int>(number), static_cast<unsigned>(number));
            return -3;
        }
        errorText = buffer.tooLarge ? std::string("Listing too large") : session.Describe(code, kDescriptionMax);
        return 1;
    }

    std::size_t start = 0;
    const std::string& text = buffer.text;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const auto entry = ParseFtpListLine(std::string_view(text).substr(start, end - start));
        start = end + 1;
        if (!entry || entry->directory) continue;
        if (!ftp_detail::IsPlainFileName(entry->name)) {
            std::string shown = entry->name.substr(0, 128);
            for (char& c : shown) {
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
            }
            LogF(10,
                 Tr("## FTP %s : nom de fichier distant ignoré « %s »", "## FTP %s: remote file name skipped \"%s\""),
                 ftp_detail::SiteForText(site).c_str(), shown.c_str());
            continue;
        }
        if (!FtpNameMatches(pattern, entry->name)) continue;
        files.push_back({entry->name, entry->size});
    }
    return 0;
}

}  // namespace winorvex
