#include "PrimitiveFactory.h"

#include "CirclePairPrimitives.h"
#include "CircularPrimitives.h"
#include "ConstructedPrimitives.h"
#include "LinearPrimitives.h"

namespace {

template <class Primitive>
std::unique_ptr<SFPrimitiveBase> make(float factor, float originX, float originY, const sf::String& unit, float x,
                                      float y, float zoom)
{
    return std::make_unique<Primitive>(factor, originX, originY, unit, x, y, zoom);
}

} // namespace

std::unique_ptr<SFPrimitiveBase> makePrimitive(int kind, float factor, float originX, float originY,
                                               const sf::String& unit, float x, float y, float zoom)
{
    using Maker = std::unique_ptr<SFPrimitiveBase> (*)(float, float, float, const sf::String&, float, float, float);
    static constexpr Maker makers[kPrimitiveKinds] = {
        make<SFPrimitivePoint>,         make<SFPrimitiveLine>,        make<SFPrimitiveLineDistance>,
        make<SFPrimitiveBrokenLine>,    make<SFPrimitiveRectangle>,   make<SFPrimitivePolygon>,
        make<SFPrimitiveCircle>,        make<SFPrimitiveCircle2>,     make<SFPrimitiveCircle3>,
        make<SFPrimitiveArc>,           make<SFPrimitiveAngle>,       make<SFPrimitiveText>,
        make<SFPrimitivePerpendicular>, make<SFPrimitiveCrosshair>,   make<SFPrimitiveCrosshair2>,
        make<SFPrimitiveParallel>,      make<SFPrimitiveParallels>,   make<SFPrimitiveConcentrical>,
        make<SFPrimitiveTwoCircles>,    make<SFPrimitiveTwoCircles2>, make<SFPrimitiveTwoCircles3>,
        make<SFPrimitiveCalibration>,
    };
    const Maker maker = kind >= 0 && kind < kPrimitiveKinds ? makers[kind] : makers[0];
    return maker(factor, originX, originY, unit, x, y, zoom);
}
