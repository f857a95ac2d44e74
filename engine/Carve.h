// Carvers: cut candidate rows of deleted records out of one freeblock or one unallocated
// area that has been read into the scratch buffer.
//
// Freeblock: SQLite overwrote the first four bytes of the freed cell (its payload-length and
// rowid varints, as far as they reach) with the freeblock header: 2 bytes next offset,
// 2 bytes size. Records of neighbouring freed cells follow each other inside one freeblock,
// each again behind four bytes of payload-length and rowid varints.
//
// Unallocated area: the gap between a leaf page's cell pointer array and its cell content
// area. Records there are found by testing bytes as single-byte serial types.
#pragma once

#include "engine/PairRows.h"
#include "engine/RecordDecode.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kestrova::engine {

class DbFile;

// One carved message: bytes of `address`, `person` and `body`.
struct CarvedMessage {
    std::string address;
    std::string person;
    std::string body;
    bool operator==(const CarvedMessage&) const = default;
};

// Carved contact rows: (raw_contact_id bytes, data1 bytes) in the order found.
using CarvedContacts = PairRows;

// The 65,535-byte scratch buffer. Every load leaves the bytes past the loaded data zero, as
// if the whole buffer had been zeroed first; only the bytes a previous load dirtied are
// cleared again.
class ScratchBuffer {
public:
    static constexpr int64_t kSize = 65535;
    ScratchBuffer();
    // Loads `len` bytes (0 <= len <= kSize) from `pos` of the file; bytes past the end of the
    // file read as zero.
    void load(const DbFile& file, int64_t pos, int64_t len);
    // Loads bytes from memory instead of the file (tests).
    void loadBytes(const uint8_t* bytes, int64_t len);
    ByteView view() const { return ByteView{data_.data(), kSize}; }

private:
    void clearFrom(int64_t len);
    std::vector<uint8_t> data_;
    int64_t dirty_ = 0;
};

// Freeblock start: the byte b after the 4-byte freeblock header is taken as the serial type of
// column 0 when it is below 7, else as the record's header-length byte.
struct CarveStart {
    int64_t offset; // from the freeblock start
    int64_t length; // L; may be 0 or negative for tiny freeblocks
};
CarveStart freeblockCarveStart(int64_t freeblockSize, uint8_t b);

// Records of one freeblock's carve (buffer holds L bytes at 0). P, Q: positions of
// raw_contact_id and data1; C: column count (checked by the caller: C >= 1, P, Q < C).
void carveContactFreeblock(ByteView buf, int64_t L, int P, int Q, int C, CarvedContacts& out);
// Records of one unallocated area of `A` bytes. K is the position of data1 that the
// candidate test uses.
void carveContactArea(ByteView buf, int64_t A, int P, int Q, int C, int K, CarvedContacts& out);

// Message variants: A, P, B positions of address, person, body; C column count.
void carveSmsFreeblock(ByteView buf, int64_t L, int A, int P, int B, int C,
                       std::vector<CarvedMessage>& out);
// `bodyColumn` is the position tested as the body's serial type in the candidate test.
void carveSmsArea(ByteView buf, int64_t S, int A, int P, int B, int C, int bodyColumn,
                  std::vector<CarvedMessage>& out);

} // namespace kestrova::engine
