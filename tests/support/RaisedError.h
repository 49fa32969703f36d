#pragma once

#include "base/AppError.h"

#include <optional>

// The program error a call raised, or nothing when it raised none.
template <class Body>
std::optional<AppError> raisedBy(Body &&body)
{
    try {
        body();
    } catch (const AppError &error) {
        return error;
    }
    return std::nullopt;
}
