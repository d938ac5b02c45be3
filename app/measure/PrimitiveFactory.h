#pragma once
#include "SFPrimitiveBase.h"

#include <memory>

// Creates the primitive of `kind` (tool - 3) at view position (x, y); a kind
// outside 0..21 makes a point.
std::unique_ptr<SFPrimitiveBase> makePrimitive(int kind, float calibrationFactor, float viewOriginX, float viewOriginY,
                                               const sf::String& unitName, float x, float y, float zoom);

// An independent copy of `primitive`, of the same kind and in the same state.
std::unique_ptr<SFPrimitiveBase> clonePrimitive(const SFPrimitiveBase& primitive);
