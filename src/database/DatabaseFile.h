#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Where an export puts its lines: a file, or memory for a front end that
// keeps the lines itself. False when the line could not be stored.
class ILineSink {
public:
    virtual ~ILineSink() = default;
    virtual bool WriteString(std::string_view text) = 0;
};

// A database file as plain 8-bit bytes, no newline translation: the
// reader under ReadDatabaseFile, which both front ends import through. Each
// line written goes straight to the file. (An export writes through
// CSafeFileWriter, which never destroys the file it replaces.)
class CDatabaseFile : public ILineSink {
public:
    // An export is at most 448 lines of 504 code bytes (under 500 KB); a file
    // far beyond that is not a database file.
    static constexpr uint64_t MAX_READ_BYTES = uint64_t{4} * 1024 * 1024;

    CDatabaseFile() = default;
    CDatabaseFile(const CDatabaseFile&) = delete;
    CDatabaseFile& operator=(const CDatabaseFile&) = delete;
    ~CDatabaseFile() override;

    // Creates the file, or empties an existing one, for writing.
    bool OpenForWriting(const std::string& path);
    // Opens the file (made, private, when missing) to add lines at its end.
    bool OpenForAppending(const std::string& path);
    // What was written is on the disk.
    bool Sync();
    // Opens a regular file for reading; anything else (a directory, a pipe,
    // a device) is refused without waiting on it. reason says why it failed.
    bool OpenForReading(const std::string& path, std::string* reason = nullptr);
    // The whole content of a file opened for reading, at most MAX_READ_BYTES.
    bool ReadAll(std::string& text, std::string* reason = nullptr);
    bool WriteString(std::string_view text) override;
    // False when the last bytes could not be stored.
    bool Close();
    bool IsOpen() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Collects an export's lines in memory.
class CMemoryLineSink : public ILineSink {
public:
    bool WriteString(std::string_view text) override {
        m_text.append(text);
        return true;
    }
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};
