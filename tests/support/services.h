#pragma once
// Replaces one service for the running test: the record as it is, with that
// field changed, installed as a whole. The reset before every test puts the
// real services back, so nothing needs restoring.
//
//   test::setService(&platform::Services::sleep, [](uint32_t) {});

#include <utility>

#include "system/services.h"

namespace kavel::test {

template <typename Field, typename Value>
void setService(Field platform::Services::*field, Value&& value) {
    platform::Services changed = platform::services();
    changed.*field = std::forward<Value>(value);
    platform::replaceServices(std::move(changed));
}

}  // namespace kavel::test
