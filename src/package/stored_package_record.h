#pragma once
// Finding one record's name stamp and stored data in the package's bytes, as extraction and the
// stored-copy writer both do. The record's claims are checked against the bytes' size before
// anything is looked at, so a lying record reads nothing outside.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "package/byte_reader.h"
#include "package/file_table.h"
#include "package/loaded_package.h"
#include "platform/platform.h"

namespace cw {

class File;

// The record's name stamp and stored data inside the package's bytes: true when the bytes at
// its dataOffset spell its cardPath and the storedSize bytes after them lie inside `package`;
// `data` then views those bytes.
bool FindRecordData(std::span<const uint8_t> package, const FILE_INFO_STRUCT& record,
                    std::span<const uint8_t>* data);

// The package's bytes for a step that works from them: those the job's load kept in `package`,
// or, for a step given a table without a load, the file at `path` (the job's
// globalFWPDataFilePath) read whole now and kept there. False when it cannot be opened or read
// whole.
bool HoldPackageBytes(Platform& platform, const std::string& path, LoadedPackage& package);

// Reads exactly `size` bytes, in as many requests as the file needs. False when fewer come.
bool ReadExactly(File& file, void* buffer, size_t size);

// Lets go of the package's bytes and extraction's buffer: a restore needs that memory for its
// own copies, and a 32-bit program may have had little more than the package.
void ReleasePackageBytes(LoadedPackage& package);

// The 4 little-endian bytes of a 32-bit value.
std::string LittleEndianBytes(uint32_t value);

// Which of a package's records its stored copies on an Engine card hold: a package without 3950
// support is stored whole as "UPGRADE.FWP"; one with it as two halves, "UPGRADE.FWP" without the
// 3950 panel's files and "FWP_3950.FWP" without the 3940 panel's, neither with the files stored
// as they are for a panel's root.
enum class StoredCopy { kWhole, kHalf3940, kHalf3950 };
bool InStoredCopy(StoredCopy copy, int32_t kind);

// True when `copy`, the bytes of a stored copy, was made from the package whose file table is
// `table`: it holds exactly the package's records that belong in it (CRC-exempt files aside),
// each with the same path, kind and CRC-32. An intact copy of another release fails this.
bool StoredCopyMadeFrom(const Bytes& copy, const std::vector<FILE_INFO_STRUCT>& table,
                        StoredCopy part);

}  // namespace cw
