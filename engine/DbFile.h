// Read-only access to a database file as raw bytes, by position. Positions are 64-bit, so
// files of 2 GiB and more are read correctly. The file is mapped when possible and read with
// pread otherwise; it is never written and never locked.
#pragma once

#include <cstdint>
#include <string>

namespace kestrova::engine {

class DbFile {
public:
    DbFile() = default;
    ~DbFile();
    DbFile(const DbFile&) = delete;
    DbFile& operator=(const DbFile&) = delete;

    bool open(const std::string& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    int64_t size() const { return size_; }

    // Copies `len` bytes from `pos` into `dst`. The part that lies outside the file is filled
    // with zeros. Returns the number of bytes that came from the file.
    int64_t readAt(int64_t pos, uint8_t* dst, int64_t len) const;

    uint32_t readU8(int64_t pos) const;
    uint32_t readU16(int64_t pos) const;
    uint32_t readU32(int64_t pos) const;

private:
    int fd_ = -1;
    int64_t size_ = 0;
    const uint8_t* map_ = nullptr;
};

} // namespace kestrova::engine
