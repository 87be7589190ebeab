// The bounded e-list: a fixed number of slots and a current length stored before the items.
// Items are pointer-sized on this host so that a string pointer fits in one item.
#pragma once

#include <cstdint>

using EListItem = intptr_t;
using EList = EListItem*;

struct EListHeader {
    int32_t maxLength;
    int32_t length;
};

/// Storage for a list built in place with ListInit: the header words, then `n` slots.
template <int N>
struct EListStorage {
    EListHeader header;
    EListItem items[N];
};

EList NewList(int32_t maxLen);
EList DisposeList(EList list);
/// Builds an empty list of `maxLen` slots inside `storage` (a header followed by the slots).
EList ListInit(void* storage, int32_t maxLen);
EList ListCopy(EList list, EList other, int32_t len = -1);
EList ListAdd(EList list, EList other, int32_t len = -1);
int32_t ListCmp(EList list, EList other, int32_t len = -1);
int32_t ListMax(EList list);
int32_t ListLen(EList list);
EListItem ListAt(EList list, int32_t index);
void SetList(EList list, int32_t newLen);
