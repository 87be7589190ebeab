// Message requesters: texts formatted from the argument array, buttons from "|"-separated
// gadget texts, and the answer numbered the way the program expects (1, 2, ... from the left,
// 0 for the rightmost button, which is also what closing or a timeout gives).
#include "platform/requesters/intuition.h"

#include "platform/requesters/requesters.h"

#include <string>
#include <vector>

namespace {

using namespace tolvarn::platform::internal;

MessageRequest describe(const EasyStruct* easyStruct, const intptr_t* args) {
    MessageRequest request;
    size_t next = 0;
    if (easyStruct->es_Title != nullptr)
        request.title = easyStruct->es_Title;
    request.text = formatRequesterText(easyStruct->es_TextFormat, args, next);
    // Split before formatting, so that a "|" inside an argument cannot make a button.
    const std::string gadgets =
        easyStruct->es_GadgetFormat != nullptr ? easyStruct->es_GadgetFormat : "";
    size_t start = 0;
    for (;;) {
        const size_t end = gadgets.find('|', start);
        const std::string format = gadgets.substr(start, end - start);
        request.buttons.push_back(formatRequesterText(format.c_str(), args, next));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    // A requester without any button text still needs a way to be answered.
    if (request.buttons.size() == 1 && request.buttons[0].empty())
        request.buttons[0] = "OK";
    return request;
}

int32_t show(const MessageRequest& request) {
    int pressed = -1;
    switch (chooseRequesterBackend()) {
    case RequesterBackend::gui:
        pressed = showMessageWithZenity(zenityProgram(), request);
        break;
    case RequesterBackend::terminal:
        pressed = showMessageInTerminal(request);
        break;
    case RequesterBackend::none:
        pressed = showMessageNowhere(request);
        break;
    }
    const int count = static_cast<int>(request.buttons.size());
    if (pressed < 0 || pressed >= count - 1)
        return 0;
    return pressed + 1;
}

} // namespace

int32_t EasyRequestArgs(Window* /*window*/, const EasyStruct* easyStruct, uint32_t* /*idcmp*/,
                        const intptr_t* args) {
    if (easyStruct == nullptr)
        return 0;
    return show(describe(easyStruct, args));
}

namespace tolvarn::platform {

int32_t timedEasyRequest(const EasyStruct* easyStruct, const intptr_t* args,
                         int32_t timeoutSeconds) {
    if (easyStruct == nullptr)
        return 0;
    MessageRequest request = describe(easyStruct, args);
    if (timeoutSeconds <= 0) {
        // Closing "after no time" means nobody can answer: say it where it cannot block.
        showMessageNowhere(request);
        return 0;
    }
    request.timeoutSeconds = timeoutSeconds;
    return show(request);
}

} // namespace tolvarn::platform
