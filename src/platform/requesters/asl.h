// Stand-ins for the asl library: the file and directory requester.
#pragma once

#include "platform/exec/types.h"
#include "platform/exec/workbench.h"

inline constexpr uint32_t ASL_FileRequest = 0;

inline constexpr Tag ASLFR_TitleText = 0x80080001;
inline constexpr Tag ASLFR_InitialFile = 0x80080008;
inline constexpr Tag ASLFR_InitialDrawer = 0x80080009;
inline constexpr Tag ASLFR_InitialPattern = 0x8008000A;
inline constexpr Tag ASLFR_Flags1 = 0x80080014;
inline constexpr Tag ASLFR_Flags2 = 0x80080016;
inline constexpr Tag ASLFR_DoPatterns = 0x8008002E;
inline constexpr Tag ASLFR_InitialShowVolumes = 0x80080082;

// ASLFR_Flags1 bits.
inline constexpr uint32_t FRF_DOMULTISELECT = 0x08;
inline constexpr uint32_t FRF_DOSAVEMODE = 0x20;
// ASLFR_Flags2 bits.
inline constexpr uint32_t FRF_DRAWERSONLY = 0x01;
inline constexpr uint32_t FRF_REJECTICONS = 0x04;

struct FileRequester {
    char* fr_File;   // the chosen file name (empty for a drawers-only requester)
    char* fr_Drawer; // the chosen directory
    int32_t fr_NumArgs; // entries of a multi-selection
    WBArg* fr_ArgList;
};

void* AllocAslRequest(uint32_t type, const TagItem* tags);
/// Shows the requester. Returns DOSTRUE when the user chose something, DOSFALSE on cancel or when
/// it could not be shown.
int32_t AslRequest(void* requester, const TagItem* tags);
void FreeAslRequest(void* requester);
