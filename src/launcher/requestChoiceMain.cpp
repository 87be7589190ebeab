#include "launcher/requestChoice.h"
#include "platform/exec/startup.h"

int main(int argc, char** argv) {
    return tolvarn::platform::startProgram(argc, argv, requestChoiceMain);
}
