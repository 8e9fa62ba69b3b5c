#pragma once
// Reading one record's name stamp and stored data from an open package, as extraction and the
// stored-copy writer both do. The record's claims are checked against the package's size
// before anything is allocated, so a lying record costs nothing and reads nothing outside.

#include <cstdint>
#include <string>

#include "package/byte_reader.h"
#include "record/file_table.h"

namespace cw {

class File;

enum class RecordRead {
  kRead,      // the name stamp matched and the data are in the buffer
  kNotFound,  // the stamp differs, or the record's data do not lie inside the package
  kNoMemory,  // the buffer could not be had
};

// Seeks `package` (of `packageSize` bytes) to the record's dataOffset, checks that the bytes
// there spell its cardPath and reads the storedSize bytes after them into `data`.
RecordRead ReadRecordData(File& package, uint64_t packageSize, const FILE_INFO_STRUCT& record,
                          Bytes* data);

// Reads exactly `size` bytes, in as many requests as the file needs. False when fewer come.
bool ReadExactly(File& file, void* buffer, size_t size);

// Gives `buffer` exactly `size` bytes. False when the memory cannot be had.
bool Reserve(Bytes* buffer, size_t size);

// The 4 little-endian bytes of a 32-bit value.
std::string LittleEndianBytes(uint32_t value);

}  // namespace cw
