#pragma once
// File handles of the platform layer. Errors are system error codes.

#include <cstdint>
#include <string>

namespace plat {

using FileHandle = intptr_t;
constexpr FileHandle kInvalidFile = -1;

enum class StdStream { In, Out, Err };

FileHandle stdHandle(StdStream s);
// Opens for reading (updatable: read and write, created when missing).
FileHandle openFileRead(const std::string& name, bool updatable, uint32_t* error);
// Opens for writing: append keeps the content (creating the file when
// missing), otherwise the file is created anew.
FileHandle openFileWrite(const std::string& name, bool append, uint32_t* error);
// Reads up to count bytes; returns bytes read or -1 (error set).
int64_t readFile(FileHandle h, void* buf, uint64_t count, uint32_t* error);
int64_t writeFile(FileHandle h, const void* buf, uint64_t count, uint32_t* error);
// Seeks: origin 0 = begin, 1 = current, 2 = end. Returns the new position or -1.
int64_t seekFile(FileHandle h, int64_t offset, int origin, uint32_t* error);
int64_t fileSize(FileHandle h, uint32_t* error);
bool closeFile(FileHandle h, uint32_t* error);
bool fileExists(const std::string& name);
bool deleteFile(const std::string& name);

}  // namespace plat
