#include "RippleMultiSlider.h"

#include "Ripples.h"
#include "Vortex.h"

namespace TW
{

RippleMultiSlider::RippleMultiSlider(Manager* manager, Ripples* ripples, Vortex* vortex,
                                     int firstParamIndex, int count, float x, float y, float width,
                                     float height)
    : MultiSlider(manager, firstParamIndex, count, x, y, width, height), m_ripples(ripples),
      m_vortex(vortex)
{
}

void RippleMultiSlider::MouseDown(const Point& p, unsigned modifiers, int clickCount)
{
    if (m_vortex)
        m_vortex->Launch(p.x, p.y);
    MultiSlider::MouseDown(p, modifiers, clickCount);
}

void RippleMultiSlider::TriggerRipple(float x, float y, float r, float g, float b, float a,
                                      float size)
{
    if (m_ripples)
        m_ripples->Trigger(x, y, Vec4{r, g, b, a}, size, 2.0f, 30.0f);
}

} // namespace TW
