// The text of the detection file: its line format and the alerts it raises.
#include <charconv>
#include <cstring>

#include "core/text_format.h"
#include "core/texts.h"
#include "detections/detection_file.h"
#include "detections/result_list.h"

namespace winorvex {
namespace {

char* Put(char* p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

std::size_t DecimalLength(int value) {
    char digits[16];
    return static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
}

}  // namespace

std::size_t FormatDetectionFileLine(char* buffer, std::size_t capacity, int position, std::string_view detector,
                                    std::string_view bib, std::string_view timeText, bool absolute) {
    // position TAB detector TAB bib TAB 1 TAB time TAB 1|2 CR LF
    const std::size_t needed = DecimalLength(position) + detector.size() + bib.size() + timeText.size() + 9;
    if (buffer == nullptr || needed > capacity) return needed;
    char* p = std::to_chars(buffer, buffer + capacity, position).ptr;
    *p++ = '\t';
    p = Put(p, detector);
    *p++ = '\t';
    p = Put(p, bib);
    p = Put(p, "\t1\t");
    p = Put(p, timeText);
    *p++ = '\t';
    *p++ = absolute ? '2' : '1';
    *p++ = '\r';
    *p++ = '\n';
    return needed;
}

std::size_t FormatDetectionFileLine(char* buffer, std::size_t capacity, int position, const CRixResult& result) {
    return FormatDetectionFileLine(buffer, capacity, position, result.detector, result.bib, result.timeText,
                                   result.IsAbsolute());
}

std::string FormatDetectionFileLine(int position, const CRixResult& result) {
    std::string line(FormatDetectionFileLine(nullptr, 0, position, result), '\0');
    FormatDetectionFileLine(line.data(), line.size(), position, result);
    return line;
}

std::string DetectionFileFailureAlert(const std::string& path, const std::string& reason, bool opening) {
    if (opening) {
        return Format(Tr("Le fichier de détections %s ne peut pas être ouvert (%s) : les détections sont gardées en "
                         "mémoire et y seront écrites dès que possible",
                         "The detection file %s cannot be opened (%s): detections are kept in memory and will be "
                         "written to it as soon as possible"),
                      path.c_str(), reason.c_str());
    }
    return Format(Tr("Le fichier de détections %s ne peut pas être écrit (%s) : les détections sont gardées en mémoire "
                     "et y seront écrites dès que possible",
                     "The detection file %s cannot be written (%s): detections are kept in memory and will be "
                     "written to it as soon as possible"),
                  path.c_str(), reason.c_str());
}

std::string DetectionFileReminderAlert(const std::string& path, const std::string& reason, std::size_t waiting) {
    const int n = static_cast<int>(waiting);
    const char* plural = n > 1 ? "s" : "";
    if (CurrentLanguage() == Language::English) {
        return Format("The detection file %s still cannot be written (%s): %d line%s waiting", path.c_str(),
                      reason.c_str(), n, plural);
    }
    return Format("Le fichier de détections %s ne peut toujours pas être écrit (%s) : %d ligne%s en attente",
                  path.c_str(), reason.c_str(), n, plural);
}

std::string DetectionFileRecreatedAlert(const std::string& path) {
    return Format(Tr("Le fichier de détections %s a été supprimé ou renommé : il est recréé sous son nom avec toutes "
                     "les détections de cette session",
                     "The detection file %s was removed or renamed: it is created again under its name with every "
                     "detection of this run"),
                  path.c_str());
}

}  // namespace winorvex
