// Calls into a started engine: its diagnostic command drives one host-service
// row from inside the module, through the real calling convention.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <type_traits>

#include "engine/diagnostic.h"
#include "engine/tarvo_engine_api.h"
#include "shell/engine/engines.h"

namespace {

template <typename T> uint32_t Word(T value) {
    if constexpr (std::is_pointer_v<T>)
        return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value));
    else if constexpr (std::is_null_pointer_v<T>)
        return 0;
    else
        return static_cast<uint32_t>(value);
}

// Row row called by the engine with context and the words: the answer.
// A refused call (no such row) is a test failure and answers INT32_MIN.
inline int32_t CallRowWords(EngineDispatcher dispatcher, void* context, uint32_t row,
                            std::initializer_list<uint32_t> words) {
    uint32_t a[TARVO_CALL_HOST_ROW_MAX_ARGS] = {0};
    uint32_t n = 0;
    for (uint32_t w : words) a[n++] = w;
    int32_t answer = INT32_MIN;
    int32_t made =
        dispatcher(context, TARVO_CMD_CALL_HOST_ROW, row, &answer, n, a[0], a[1], a[2], a[3], a[4], a[5]);
    EXPECT_EQ(0, made) << "row " << row;
    return answer;
}

template <typename... Args>
int32_t CallRow(EngineDispatcher dispatcher, void* context, uint32_t row, Args... args) {
    return CallRowWords(dispatcher, context, row, {Word(args)...});
}

} // namespace
