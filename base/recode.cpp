#include "base/recode.h"

#include <cstring>
#include <strings.h>

#include "base/codepagetables.h"
#include "base/tvlist.h"

namespace {

// Never destroyed, so that recoding stays usable from other static destructors.
union CodePageListHolder {
    tvList list;
    CodePageListHolder() : list(0) {}
    ~CodePageListHolder() {}
};

char* RecodeThrough(const unsigned char* high, const char* source, char* target) {
    if (!target) return nullptr;
    if (!source) {
        *target = '\0';
        return target;
    }
    const unsigned char* in = reinterpret_cast<const unsigned char*>(source);
    unsigned char* out = reinterpret_cast<unsigned char*>(target);
    for (; *in; ++in, ++out) *out = *in < 0x80 ? *in : high[*in - 0x80];
    *out = 0;
    return target;
}

// Record names are fixed fields: one that fills its field without a
// terminator matches nothing.
bool SameCharset(const char* field, std::size_t size, const char* name) {
    return memchr(field, '\0', size) && strcasecmp(field, name) == 0;
}

} // namespace

tvList& CodePageList() {
    static CodePageListHolder holder;
    return holder.list;
}

char* RecodeKoi8ToWin1251(const char* source, char* target) {
    return RecodeThrough(Koi8ToWin1251LogTable, source, target);
}

char* RecodeCp866ToKoi8(char* source, char* target) {
    return RecodeThrough(Cp866ToKoi8Table, source, target ? target : source);
}

int RegisterBuiltinCodePages() {
    tvList& list = CodePageList();
    if (!list.IsEmpty()) return 0;
    for (const DecodeData& record : BuiltinCodePages) {
        if (!list.Add(&record, sizeof record)) {
            // A half-filled list would hide the missing records for good.
            list.Clear();
            return 0;
        }
    }
    return 1;
}

int RecodeString(const char* source, char* target, const char* from, const char* to) {
    if (!target) return 0;
    if (!source) {
        *target = '\0';
        return 0;
    }
    RegisterBuiltinCodePages();
    const DecodeData* found = nullptr;
    if (from && to) {
        tvList& list = CodePageList();
        for (void* data = list.First(); data; data = list.Next()) {
            const DecodeData* record = static_cast<const DecodeData*>(data);
            if (SameCharset(record->fromCharset, sizeof record->fromCharset, from) &&
                SameCharset(record->toCharset, sizeof record->toCharset, to)) {
                found = record;
                break;
            }
        }
    }
    if (!found) {
        if (target != source) memmove(target, source, strlen(source) + 1);
        return 0;
    }
    const unsigned char* in = reinterpret_cast<const unsigned char*>(source);
    unsigned char* out = reinterpret_cast<unsigned char*>(target);
    for (; *in; ++in, ++out) {
        unsigned char mapped = found->table[*in];
        *out = mapped ? mapped : *in;
    }
    *out = 0;
    return 1;
}

char* UpperCaseCyrillic(char* str) {
    if (!str) return str;
    for (unsigned char* p = reinterpret_cast<unsigned char*>(str); *p; ++p) {
        if (*p >= 'a' && *p <= 'z')
            *p = static_cast<unsigned char>(*p - 'a' + 'A');
        else if (*p >= 0xC0 && *p <= 0xDF)
            *p = static_cast<unsigned char>(*p + 0x20);
        else if (*p == 0xA3)
            *p = 0xB3;
    }
    return str;
}
