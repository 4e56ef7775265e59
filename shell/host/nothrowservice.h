// The engine calls the host services through frames that cannot be unwound: an exception that left
// a service would end the process. A service that runs out of memory answers failure instead.
#pragma once

#include <new>

template <typename Result, typename Work> Result AnswerWithoutThrowing(Result failure, Work work) noexcept {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        return failure;
    }
}
