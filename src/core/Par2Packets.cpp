// The packet walk of one PAR2 file. A packet's header: magic (8), length (8), MD5 (16), recovery
// set ID (16), type (16); then its body. All numbers little-endian.
#include "Par2Packets.h"

#include "CRC32Core.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace {

constexpr size_t kHeader = 64;
const uint8_t kMagic[8] = {'P', 'A', 'R', '2', 0, 'P', 'K', 'T'};
const uint8_t kTypeMain[16] = {'P', 'A', 'R', ' ', '2', '.', '0', 0, 'M', 'a', 'i', 'n', 0, 0, 0, 0};
const uint8_t kTypeFileDesc[16] = {'P', 'A', 'R', ' ', '2', '.', '0', 0, 'F', 'i', 'l', 'e', 'D', 'e', 's', 'c'};
const uint8_t kTypeSliceChecks[16] = {'P', 'A', 'R', ' ', '2', '.', '0', 0, 'I', 'F', 'S', 'C', 0, 0, 0, 0};
const uint8_t kTypeRecovery[16] = {'P', 'A', 'R', ' ', '2', '.', '0', 0, 'R', 'e', 'c', 'v', 'S', 'l', 'i', 'c'};
constexpr size_t kSearchChunk = 64 * 1024;

uint64_t Le64(const uint8_t* p)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

uint32_t Le32(const uint8_t* p)
{
    return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

template <class T>
void Copy(T& to, const uint8_t* from) { std::memcpy(to.data(), from, to.size()); }

// The walk's state: where it is, what it found, and the buffers it reuses.
class TScanner {
public:
    TScanner(const TPar2ReadAt& readAt, uint64_t fileSize) : ReadAt(readAt), FileSize(fileSize) {}
    TPar2Scan Run();

private:
    bool Read(uint64_t at, void* buf, size_t len);
    uint64_t FindMagic(uint64_t from);
    // Each returns where the walk goes on.
    uint64_t Packet(uint64_t at, const uint8_t* header, uint64_t length);
    bool Parse(const uint8_t* header, const uint8_t* body, size_t len);
    void Keep(const uint8_t* header, size_t bodyLen, bool& kept);

    const TPar2ReadAt& ReadAt;
    const uint64_t FileSize;
    TPar2Scan Out;
    std::vector<uint8_t> Buffer;
    std::set<TMd5Digest> Seen;   // MD5s of the packets kept, so that a repeat is kept once
    uint64_t KeptBytes = 0;
    // The last packet skipped unread: when no packet starts where it ends, its length may have
    // been damaged, and the search for the next packet starts inside it.
    uint64_t UnreadStart = 0, UnreadEnd = 0;
};

bool TScanner::Read(uint64_t at, void* buf, size_t len)
{
    if (len == 0) return true;
    if (ReadAt(at, buf, len) == len) return true;
    Out.ReadError = true;
    return false;
}

uint64_t TScanner::FindMagic(uint64_t from)
{
    Buffer.resize(kSearchChunk);
    for (uint64_t at = from; FileSize - at >= sizeof kMagic;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kSearchChunk, FileSize - at));
        if (!Read(at, Buffer.data(), n)) return FileSize;
        const uint8_t* begin = Buffer.data();
        const uint8_t* end = begin + n;
        const uint8_t* hit = std::search(begin, end, kMagic, kMagic + sizeof kMagic);
        if (hit != end) return at + static_cast<uint64_t>(hit - Buffer.data());
        if (at + n == FileSize) break;
        at += n - (sizeof kMagic - 1);  // a magic across the chunk's end is found in the next
    }
    return FileSize;
}

TPar2Scan TScanner::Run()
{
    uint64_t at = 0;
    uint8_t header[kHeader];
    while (!Out.ReadError && FileSize - at >= kHeader) {
        if (!Read(at, header, kHeader)) break;
        if (std::memcmp(header, kMagic, sizeof kMagic) != 0) {
            // (Each search inside a skipped packet starts later than the one before.)
            at = FindMagic(at == UnreadEnd && UnreadEnd != 0 ? UnreadStart + sizeof kMagic : at + 1);
            UnreadEnd = 0;
            continue;
        }
        const uint64_t length = Le64(header + 8);
        if (length < kHeader || length % 4 != 0 || length > FileSize - at) {
            ++Out.Damaged;
            at += sizeof kMagic;
            continue;
        }
        at = Packet(at, header, length);
    }
    return std::move(Out);
}

uint64_t TScanner::Packet(uint64_t at, const uint8_t* header, uint64_t length)
{
    const uint8_t* type = header + 48;
    const uint64_t bodyLen = length - kHeader;
    const bool critical = !std::memcmp(type, kTypeMain, 16) || !std::memcmp(type, kTypeFileDesc, 16) ||
                          !std::memcmp(type, kTypeSliceChecks, 16);
    if (!std::memcmp(type, kTypeRecovery, 16) || (!critical && bodyLen > Par2MaxCriticalBody)) {
        UnreadStart = at;
        UnreadEnd = at + length;
        if (std::memcmp(type, kTypeRecovery, 16) != 0) return at + length;
        uint8_t exponent[4];
        if (bodyLen < 4) return ++Out.Damaged, at + sizeof kMagic;
        if (!Read(at + kHeader, exponent, 4)) return FileSize;
        if (Out.Recoveries.size() >= Par2MaxRecoveryPackets) return ++Out.Ignored, at + length;
        TPar2Recovery r;
        Copy(r.SetId, header + 32);
        r.Exponent = Le32(exponent);
        r.DataOffset = at + kHeader + 4;
        r.DataLength = bodyLen - 4;
        Copy(r.PacketMd5, header + 16);
        Out.Recoveries.push_back(r);
        return at + length;
    }
    if (bodyLen > Par2MaxCriticalBody) return ++Out.Ignored, at + sizeof kMagic;
    const size_t len = static_cast<size_t>(bodyLen);
    Buffer.resize(len);
    if (!Read(at + kHeader, Buffer.data(), len)) return FileSize;
    TMd5 md5;
    md5.Update(header + 32, 32);
    md5.Update(Buffer.data(), len);
    TMd5Digest stated;
    Copy(stated, header + 16);
    if (md5.Final() != stated) return ++Out.Damaged, at + sizeof kMagic;
    if (critical) {
        if (Seen.count(stated)) return at + length;
        if (KeptBytes + len > Par2MaxKeptBytes) return ++Out.Ignored, at + length;
        if (!Parse(header, Buffer.data(), len)) return ++Out.Damaged, at + sizeof kMagic;
        Seen.insert(stated);
        KeptBytes += len;
    }
    return at + length;
}

bool TScanner::Parse(const uint8_t* header, const uint8_t* body, size_t len)
{
    const uint8_t* type = header + 48;
    TPar2Id setId;
    Copy(setId, header + 32);
    if (!std::memcmp(type, kTypeMain, 16)) {
        if (len < 12 || (len - 12) % 16 != 0 || Md5Of(body, len) != setId) return false;
        const size_t total = (len - 12) / 16;
        const uint32_t recoverable = Le32(body + 8);
        if (recoverable > total) return false;
        TPar2Main m;
        m.SetId = setId;
        m.SliceSize = Le64(body);
        for (size_t i = 0; i < total; ++i) {
            TPar2Id id;
            Copy(id, body + 12 + 16 * i);
            (i < recoverable ? m.Recoverable : m.NonRecoverable).push_back(id);
        }
        Out.Mains.push_back(std::move(m));
    } else if (!std::memcmp(type, kTypeFileDesc, 16)) {
        if (len < 56) return false;
        TPar2FileDesc d;
        d.SetId = setId;
        Copy(d.FileId, body);
        Copy(d.Md5, body + 16);
        Copy(d.Md5First16k, body + 32);
        d.Length = Le64(body + 48);
        size_t nameLen = len - 56;
        while (nameLen > 0 && body[56 + nameLen - 1] == 0) --nameLen;
        d.Name.assign(reinterpret_cast<const char*>(body + 56), nameLen);
        Out.FileDescs.push_back(std::move(d));
    } else {
        if (len < 16 || (len - 16) % 20 != 0) return false;
        TPar2SliceChecks c;
        c.SetId = setId;
        Copy(c.FileId, body);
        c.Slices.resize((len - 16) / 20);
        for (size_t i = 0; i < c.Slices.size(); ++i) {
            Copy(c.Slices[i].Md5, body + 16 + 20 * i);
            c.Slices[i].Crc = Le32(body + 16 + 20 * i + 16);
        }
        Out.SliceChecks.push_back(std::move(c));
    }
    return true;
}

}  // namespace

TPar2Scan ScanPar2(const TPar2ReadAt& readAt, uint64_t fileSize)
{
    return TScanner(readAt, fileSize).Run();
}

void TPar2SliceHash::Update(const void* data, size_t len)
{
    Md5.Update(data, len);
    Crc = CRC32Update(Crc, data, len);
    Length += len;
}

TPar2SliceCheck TPar2SliceHash::Final(uint64_t sliceSize)
{
    static const uint8_t zeros[4096] = {};
    while (Length < sliceSize) Update(zeros, static_cast<size_t>(std::min<uint64_t>(sizeof zeros, sliceSize - Length)));
    const TPar2SliceCheck check{Md5.Final(), ~Crc};
    *this = TPar2SliceHash();
    return check;
}

TPar2RecoveryCheck::TPar2RecoveryCheck(const TPar2Recovery& recovery)
    : Expected(recovery.PacketMd5), Left(recovery.DataLength)
{
    uint8_t start[36];
    std::memcpy(start, recovery.SetId.data(), 16);
    std::memcpy(start + 16, kTypeRecovery, 16);
    for (int i = 0; i < 4; ++i) start[32 + i] = static_cast<uint8_t>(recovery.Exponent >> (8 * i));
    Md5.Update(start, sizeof start);
}

void TPar2RecoveryCheck::Update(const void* data, size_t len)
{
    if (len > Left) {
        Overrun = true;
        len = static_cast<size_t>(Left);
    }
    Md5.Update(data, len);
    Left -= len;
}

bool TPar2RecoveryCheck::Matches() { return !Overrun && Left == 0 && Md5.Final() == Expected; }

bool VerifyPar2Recovery(const TPar2ReadAt& readAt, const TPar2Recovery& recovery, size_t stripe)
{
    TPar2RecoveryCheck check(recovery);
    std::vector<uint8_t> buf(std::max<size_t>(stripe, 1));
    for (uint64_t done = 0; done < recovery.DataLength;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), recovery.DataLength - done));
        if (readAt(recovery.DataOffset + done, buf.data(), n) != n) return false;
        check.Update(buf.data(), n);
        done += n;
    }
    return check.Matches();
}
