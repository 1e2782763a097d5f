// The ids of the securities of one class that any loaded firm or client lists as margin or
// asset securities, each once, in the order they are first found.
#include "queries/queries.h"
#include "registry/registry.h"
#include "settings/settings.h"

namespace kesvar {

namespace {

// The host's count may sit at any address: little-endian, one byte at a time.
int32_t ReadCount(const unsigned char* p) {
    uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return int32_t(v);
}

void WriteCount(unsigned char* p, int32_t n) {
    uint32_t v = uint32_t(n);
    p[0] = (unsigned char)(v & 0xFF);
    p[1] = (unsigned char)((v >> 8) & 0xFF);
    p[2] = (unsigned char)((v >> 16) & 0xFF);
    p[3] = (unsigned char)((v >> 24) & 0xFF);
}

struct IdCollector {
    uint32_t* ids;
    int32_t capacity;
    int32_t n;
    int32_t classIndex;
    uint32_t classId;
    uint32_t mark; // see NewListedMark
};

// False when a new id finds the array full.
bool CollectList(IdCollector* c, const FirmSettings* settings, int32_t kind) {
    const SecurityList list = ListOf(settings, kind);
    for (int32_t e = 0; e < list.count; ++e) {
        const ClassSecurityList& entry = list.entries[e];
        if (entry.classIndex != c->classIndex || entry.securityCount <= 0) continue;
        const ListedSecurity* listed = SecuritiesOf(settings, entry);
        for (int32_t j = 0; j < entry.securityCount; ++j) {
            int32_t s = SecIndexOf(listed[j]);
            if (s == -1) continue;
            uint32_t id = SecurityAt(s)->sec.secId;
            // Securities of one class may share an id: the first of them carries the mark.
            if (!MarkListed(FindSecurityById(c->classId, id), c->mark)) continue;
            if (c->n == c->capacity) return false;
            memcpy(&c->ids[c->n], &id, sizeof id);
            ++c->n;
        }
    }
    return true;
}

// A record's own lists only; the rest-short list does not ask for data.
bool CollectRecord(IdCollector* c, const FirmSettings* settings) {
    return CollectList(c, settings, kMarginList) && CollectList(c, settings, kAssetList);
}

} // namespace

int32_t GetNeedClassSecIDs(uint32_t classId, uint32_t* ids, unsigned char* count) {
    int32_t classIndex = -1;
    for (int32_t i = 0; i < ClassCount(); ++i) {
        if (ClassAt(i)->cls.classId == classId) {
            classIndex = i;
            break;
        }
    }
    if (classIndex < 0) return KR_ERR_NOT_FOUND;

    IdCollector c;
    c.ids = ids;
    c.capacity = ReadCount(count);
    if (c.capacity < 0) c.capacity = 0;
    c.n = 0;
    c.classIndex = classIndex;
    c.classId = classId;
    c.mark = NewListedMark();

    for (int32_t f = 0; f < FirmCount(); ++f) {
        const FirmRecord* firm = FirmAt(f);
        if (!CollectRecord(&c, firm)) return KR_ERR_SIZE;
        for (int32_t k = 0; k < firm->clients.count; ++k) {
            if (!CollectRecord(&c, &firm->clients[k])) return KR_ERR_SIZE;
        }
    }
    WriteCount(count, c.n);
    return KR_ERR_NONE;
}

} // namespace kesvar
