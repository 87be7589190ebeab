// Stand-ins for intuition: the message requester.
#pragma once

#include "platform/exec/types.h"

struct Window;

struct EasyStruct {
    uint32_t es_StructSize;
    uint32_t es_Flags;
    const char* es_Title;
    const char* es_TextFormat;
    const char* es_GadgetFormat; // buttons separated by "|"
};

/// Shows a message requester. The text and the gadget texts are formatted from `args` (pointer-
/// sized items: %s, %ld, %lu, %lx, %%). Returns 1, 2, ... for the buttons from the left and 0 for
/// the rightmost.
int32_t EasyRequestArgs(Window* window, const EasyStruct* easyStruct, uint32_t* idcmp,
                        const intptr_t* args);

namespace tolvarn::platform {

/// As EasyRequestArgs, but the requester closes itself after `timeoutSeconds` (giving 0, the
/// rightmost button) when nobody answers.
int32_t timedEasyRequest(const EasyStruct* easyStruct, const intptr_t* args,
                         int32_t timeoutSeconds);

} // namespace tolvarn::platform
