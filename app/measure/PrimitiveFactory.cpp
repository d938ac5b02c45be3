#include "PrimitiveFactory.h"

#include "CirclePairPrimitives.h"
#include "CircularPrimitives.h"
#include "ConstructedPrimitives.h"
#include "LinearPrimitives.h"

#include <typeinfo>

namespace {

template <class Primitive> std::unique_ptr<SFPrimitiveBase> make(const PrimitiveSetup& setup)
{
    return std::make_unique<Primitive>(setup);
}

template <class... Primitives> std::unique_ptr<SFPrimitiveBase> copyOf(const SFPrimitiveBase& primitive)
{
    std::unique_ptr<SFPrimitiveBase> copy;
    ((typeid(primitive) == typeid(Primitives)
          ? void(copy = std::make_unique<Primitives>(static_cast<const Primitives&>(primitive)))
          : void()),
     ...);
    return copy;
}

} // namespace

std::unique_ptr<SFPrimitiveBase> clonePrimitive(const SFPrimitiveBase& primitive)
{
    return copyOf<SFPrimitivePoint, SFPrimitiveLine, SFPrimitiveLineDistance, SFPrimitiveBrokenLine,
                  SFPrimitiveRectangle, SFPrimitivePolygon, SFPrimitiveCircle, SFPrimitiveCircle2, SFPrimitiveCircle3,
                  SFPrimitiveArc, SFPrimitiveAngle, SFPrimitiveText, SFPrimitivePerpendicular, SFPrimitiveCrosshair,
                  SFPrimitiveCrosshair2, SFPrimitiveParallel, SFPrimitiveParallels, SFPrimitiveConcentrical,
                  SFPrimitiveTwoCircles, SFPrimitiveTwoCircles2, SFPrimitiveTwoCircles3, SFPrimitiveCalibration>(
        primitive);
}

std::unique_ptr<SFPrimitiveBase> makePrimitive(int kind, float factor, float originX, float originY,
                                               const sf::String& unit, float x, float y, float zoom)
{
    using Maker = std::unique_ptr<SFPrimitiveBase> (*)(const PrimitiveSetup&);
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
    return maker(PrimitiveSetup{factor, originX, originY, unit, zoom, {x, y}});
}
