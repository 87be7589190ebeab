// The bounded e-list: two header words, then the pointer-sized item slots.
#include "strings/elist.h"

#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/types.h"

namespace {

EListHeader* headerOf(EList list) {
    return reinterpret_cast<EListHeader*>(list) - 1;
}

/// Appends at most `len` (ALL: no limit) of other's items until the list is full. The count is
/// taken before anything is written, so a list may be added to (or copied onto) itself.
void appendItems(EList list, EList other, int32_t len, int32_t startLength) {
    int32_t count = headerOf(other)->length;
    if (len != ALL && len < count)
        count = len;
    const int32_t max = headerOf(list)->maxLength;
    int32_t at = startLength;
    for (int32_t i = 0; i < count && at < max; ++i)
        list[at++] = other[i];
    headerOf(list)->length = at;
}

} // namespace

EList NewList(int32_t maxLen) {
    if (maxLen < 0)
        Throw(ID_EPU, "EList; NewList(); maxLen<0");
    constexpr auto kItemSize = static_cast<int64_t>(sizeof(EListItem));
    // As for e-strings, a block beyond a signed 32-bit size can never be had.
    if (maxLen > (INT32_MAX - static_cast<int64_t>(sizeof(EListHeader))) / kItemSize)
        Raise(ID_MEM);
    void* block = MemAlloc(static_cast<int64_t>(sizeof(EListHeader)) + maxLen * kItemSize, TRUE);
    return ListInit(block, maxLen);
}

EList DisposeList(EList list) {
    if (list != nullptr)
        MemFree(headerOf(list), -999);
    return nullptr;
}

EList ListInit(void* storage, int32_t maxLen) {
    auto* header = static_cast<EListHeader*>(storage);
    header->maxLength = maxLen;
    header->length = 0;
    return reinterpret_cast<EList>(header + 1);
}

EList ListCopy(EList list, EList other, int32_t len) {
    if (list == nullptr)
        Throw(ID_EPU, "EList; ListCopy(); list=NILL");
    if (other == nullptr)
        Throw(ID_EPU, "EList; ListCopy(); other=NILL");
    if (len < 0 && len != ALL)
        Throw(ID_EPU, "EList; ListCopy(); len<0");
    appendItems(list, other, len, 0);
    return list;
}

EList ListAdd(EList list, EList other, int32_t len) {
    if (list == nullptr)
        Throw(ID_EPU, "EList; ListAdd(); list=NILL");
    if (other == nullptr)
        Throw(ID_EPU, "EList; ListAdd(); other=NILL");
    if (len < 0 && len != ALL)
        Throw(ID_EPU, "EList; ListAdd(); len<0");
    appendItems(list, other, len, headerOf(list)->length);
    return list;
}

int32_t ListCmp(EList list, EList other, int32_t len) {
    if (list == nullptr)
        Throw(ID_EPU, "EList; ListCmp(); list=NILL");
    if (other == nullptr)
        Throw(ID_EPU, "EList; ListCmp(); other=NILL");
    if (len < 0 && len != ALL)
        Throw(ID_EPU, "EList; ListCmp(); len<0");
    int32_t count = headerOf(list)->length;
    if (count != headerOf(other)->length)
        return FALSE;
    if (len != ALL && len < count)
        count = len;
    for (int32_t i = 0; i < count; ++i)
        if (list[i] != other[i])
            return FALSE;
    return TRUE;
}

int32_t ListMax(EList list) {
    if (list == nullptr)
        Throw(ID_EPU, "EList; ListMax(); list=NILL");
    return headerOf(list)->maxLength;
}

int32_t ListLen(EList list) {
    if (list == nullptr)
        Throw(ID_EPU, "EList; ListLen(); list=NILL");
    return headerOf(list)->length;
}

EListItem ListAt(EList list, int32_t index) {
    // Reported under the name ListLen: callers and their tests know this message by that name.
    if (list == nullptr)
        Throw(ID_EPU, "EList; ListLen(); list=NILL");
    if (index < 0 || index >= headerOf(list)->length)
        Throw(ID_EPU, "EList; ListLen(); index exceeds list bounds");
    return list[index];
}

void SetList(EList list, int32_t newLen) {
    if (list == nullptr)
        Throw(ID_EPU, "EList; SetList(); list=NILL");
    if (newLen < 0)
        Throw(ID_EPU, "EList; SetList(); newLen<0");
    if (newLen > headerOf(list)->maxLength)
        Throw(ID_EPU, "EList; SetList(); newLen exceeds list size");
    headerOf(list)->length = newLen;
}
