#pragma once

#include "DatabaseFile.h"

#include <string>

// The file an export writes without ever destroying a good backup: the
// lines go into FILE.partial beside it as they are read, and only a complete
// export replaces FILE (flushed to the disk, then renamed over it). A failed
// or interrupted export leaves FILE as it was and keeps FILE.partial.
class CExportFile : public ILineSink {
public:
    explicit CExportFile(std::string path);
    ~CExportFile() override;
    CExportFile(const CExportFile&) = delete;
    CExportFile& operator=(const CExportFile&) = delete;

    // Creates (or empties) FILE.partial; reason says why it could not.
    bool Open(std::string* reason);
    bool WriteString(std::string_view text) override;
    // Flushes FILE.partial to the disk and renames it over FILE.
    bool Commit(std::string* reason);
    // Closes FILE.partial and leaves it there.
    void Keep();

    const std::string& Path() const { return m_path; }
    std::string PartialPath() const { return m_path + ".partial"; }

private:
    std::string m_path;
    int m_fd = -1;
};
