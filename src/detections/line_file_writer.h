#pragma once
// Writes a text file of lines so that its path only ever holds a whole file: the lines go to a
// temporary name beside the target, in large blocks, and the file is renamed into place once it
// is complete and on disk. A writer dropped before Commit removes its temporary file, so a
// failure leaves the previous file (or none) and never a part. Lines end in CR LF, as the
// programs that read these files expect.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace winorvex {

class CRixResult;

class LineFileWriter {
public:
    explicit LineFileWriter(std::string path);
    ~LineFileWriter();
    LineFileWriter(const LineFileWriter&) = delete;
    LineFileWriter& operator=(const LineFileWriter&) = delete;

    // Creates the temporary file; false (Error() set) when it cannot be made.
    bool Open();

    // A detection-file line: "%d\t%s\t%s\t%d\t%s\t%d" of ordinal, detector, bib, 1, time, 1|2.
    void AddRecordLine(int ordinal, const CRixResult& record);
    // The same line with another text in the time field.
    void AddRecordLine(int ordinal, const CRixResult& record, std::string_view timeText);
    // Raw text, written as given (the caller supplies its line ends).
    void AddText(std::string_view text);

    // Writes what is left, syncs, closes and renames over the target. False (Error() set, the
    // temporary file removed) when any step failed, including an earlier write.
    bool Commit();

    const std::string& Path() const { return path_; }
    int Error() const { return error_; }  // errno value of the first failure, 0 when none

private:
    void Append(const char* data, std::size_t length);
    void Flush();
    void Write(const char* data, std::size_t length);
    void Discard();

    static constexpr std::size_t kBlockSize = 64 * 1024;

    std::string path_;
    std::string temporary_;
    int fd_ = -1;
    int error_ = 0;
    bool committed_ = false;
    std::size_t used_ = 0;
    std::unique_ptr<char[]> block_;
};

// A fresh name beside path for a file that will be renamed onto it ("<path>.tmp-<pid>-<n>").
std::string TemporaryPathFor(const std::string& path);

}  // namespace winorvex
