#pragma once
// Files as streams. The name "-" stands for the standard streams (standard
// input for readers, standard output for writers); "--" opens standard error
// for writing. Messages name the file ("stdin", "stdout", "stderr" for those).

#include "Core/Stream.h"
#include "Platform/File.h"

KELSTR(CFileReader_open_OpenError, "Unable to open file '%1' for reading (error %2).");
KELSTR(CFileReader_read_ReadError, "Unable to read from file '%1' (error %2).");
KELSTR(CFileReader_read_ReadBeyondEnd, "Unable to read from file '%1' (required %2 bytes, read %3 bytes).");
KELSTR(CFileReader_readStreamed_ReadError, "Unable to read from file '%1' (error %2).");
KELSTR(CFileReader_skip_PosError, "Unable to increment file's '%1' position by %2 (error %3).");
KELSTR(CFileWriter_open_OpenError, "Unable to open file '%1' for %2 (error %3).");
KELSTR(CFileWriter_write_WriteError, "Unable to write to file '%1' (error %2).");
KELSTR(CFileWriter_write_WriteErrorCount, "Unable to write to file '%1' (required %2 bytes, written %3 bytes).");
KELSTR(CFileBase_getPosition_PosError, "Unable to get file's '%1' position (error %2).");
KELSTR(CFileBase_getSize_FileSizeError, "Unable to get file's '%1' size (error %2).");
KELSTR(CFileBase_setPosition_PosError, "Unable to set file's '%1' position to %2 (error %3).");
KELSTR(CFileBase_close_CloseError, "Unable to close file '%1' (error %2).");
KELSTR(CFileBase_close_UnlockError, "Unable to unlock file '%1' (error %2).");

class CFileBase {
public:
    CFileBase() = default;
    virtual ~CFileBase();
    CFileBase(const CFileBase&) = delete;
    CFileBase& operator=(const CFileBase&) = delete;

    const CString& fileName() const { return m_name; }
    bool isOpen() const { return m_handle != plat::kInvalidFile; }

    CError filePosition(uint64_t* pos);
    CError fileSize(uint64_t* size);
    CError fileSetPosition(uint64_t pos);
    CError close();

protected:
    plat::FileHandle m_handle = plat::kInvalidFile;
    CString m_name;
    bool m_std = false;
};

class CFileReader : public CPosInputStream, public CFileBase {
public:
    // Opens for reading; updatable opens for reading and writing, creating
    // the file when missing.
    CError open(const CString& name, bool updatable = false);

    CError read(void* buffer, size_t count) override;
    CError skip(size_t count) override;
    CError readStreamed(const uint8_t** data, size_t count) override;

    CError getPosition(uint64_t* pos) override { return filePosition(pos); }
    CError getSize(uint64_t* size) override { return fileSize(size); }
    CError setPosition(uint64_t pos) override { return fileSetPosition(pos); }

private:
    std::vector<uint8_t> m_buffer;
};

class CFileWriter : public CPosOutputStream, public CFileBase {
public:
    // Opens for writing: appending keeps the content (the position stays at
    // the start until moved: call seekToEnd to append), rewriting creates the
    // file anew.
    CError open(const CString& name, bool append = false);
    CError seekToEnd();

    CError write(const void* buffer, size_t count) override;

    CError getPosition(uint64_t* pos) override { return filePosition(pos); }
    CError getSize(uint64_t* size) override { return fileSize(size); }
    CError setPosition(uint64_t pos) override { return fileSetPosition(pos); }
};
