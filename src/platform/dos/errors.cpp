// The process's secondary result (IoErr), the translation of host errors into the error numbers
// the program logic knows, and the fault injection that tests use to fail a chosen I/O call.
#include "platform/dos/internal.h"

#include <array>
#include <cerrno>

namespace {

int32_t lastError = 0;

struct PendingFault {
    int remaining = 0; // calls still to go; the call that brings it to 0 fails
    int32_t error = 0;
};
std::array<PendingFault, 5> pendingFaults;

int32_t defaultFaultError(tolvarn::platform::Operation operation) {
    // A full disk is what a failing write usually means; for the other calls an object held by
    // someone else is a plausible, harmless reason.
    return operation == tolvarn::platform::Operation::Write ? ERROR_DISK_FULL : ERROR_OBJECT_IN_USE;
}

} // namespace

/// Returns the error code of the last call that failed (or that set it on success).
int32_t IoErr() {
    return lastError;
}

/// Sets IoErr() and returns the previous value.
int32_t SetIoErr(int32_t code) {
    const int32_t previous = lastError;
    lastError = code;
    return previous;
}

namespace tolvarn::platform {

void failOperation(Operation operation, int nth, int32_t error) {
    auto& fault = pendingFaults.at(static_cast<std::size_t>(operation));
    fault.remaining = nth > 0 ? nth : 0;
    fault.error = error != 0 ? error : defaultFaultError(operation);
}

} // namespace tolvarn::platform

namespace tolvarn::platform::internal {

void setIoErrFromHostError(int hostError) {
    setIoErrFromHostError(hostError, ERROR_READ_PROTECTED);
}

void setIoErrFromHostError(int hostError, int32_t accessDeniedCode) {
    int32_t code;
    switch (hostError) {
    case 0:
        code = 0;
        break;
    case ENOMEM:
    case EMFILE:
    case ENFILE:
        code = ERROR_NO_FREE_STORE;
        break;
    case ENAMETOOLONG:
    case E2BIG:
        code = ERROR_LINE_TOO_LONG;
        break;
    case ENOEXEC:
        code = ERROR_FILE_NOT_OBJECT;
        break;
    case EBUSY:
    case ETXTBSY:
    case EAGAIN:
        code = ERROR_OBJECT_IN_USE;
        break;
    case EEXIST:
        code = ERROR_OBJECT_EXISTS;
        break;
    case ENOENT:
        code = ERROR_OBJECT_NOT_FOUND;
        break;
    case EFBIG:
    case EOVERFLOW:
        code = ERROR_OBJECT_TOO_LARGE;
        break;
    case ENOTDIR:
    case EISDIR:
        code = ERROR_OBJECT_WRONG_TYPE;
        break;
    case EIO:
    case EUCLEAN:
        code = ERROR_DISK_NOT_VALIDATED;
        break;
    case EROFS:
        code = ERROR_DISK_WRITE_PROTECTED;
        break;
    case EXDEV:
        code = ERROR_RENAME_ACROSS_DEVICES;
        break;
    case ENOTEMPTY:
        code = ERROR_DIRECTORY_NOT_EMPTY;
        break;
    case ENODEV:
    case ENXIO:
        code = ERROR_DEVICE_NOT_MOUNTED;
        break;
    case ESPIPE:
        code = ERROR_SEEK_ERROR;
        break;
    case ENOSPC:
    case EDQUOT:
        code = ERROR_DISK_FULL;
        break;
    case EPERM:
        code = ERROR_DELETE_PROTECTED;
        break;
    case EACCES:
        code = accessDeniedCode;
        break;
    case ELOOP:
        code = ERROR_IS_SOFT_LINK;
        break;
    case ERANGE:
        code = ERROR_BUFFER_OVERFLOW;
        break;
    case ENOMEDIUM:
        code = ERROR_NO_DISK;
        break;
    case EBADF:
        code = ERROR_INVALID_LOCK;
        break;
    default:
        code = ERROR_ACTION_NOT_KNOWN;
        break;
    }
    SetIoErr(code);
}

bool injectedFailure(Operation operation) {
    auto& fault = pendingFaults.at(static_cast<std::size_t>(operation));
    if (fault.remaining == 0 || --fault.remaining > 0)
        return false;
    SetIoErr(fault.error);
    return true;
}

void forgetFaults() {
    pendingFaults = {};
}

} // namespace tolvarn::platform::internal
