#include "ControlBase.h"

#include "Manager.h"

#include <cmath>

namespace TW
{

ControlBase::ControlBase(Manager* manager, const Bounds& bounds)
    : UIElement(manager), m_bounds(bounds)
{
}

UIElement* ControlBase::HitTest(const Point& p)
{
    return m_bounds.Contains(p) ? this : nullptr;
}

void ControlBase::SetParamFromNormalised(const ParameterDescription& param, float& n)
{
    float value;
    if (m_integerValued)
    {
        const float range = param.maxValue - param.minValue;
        value = std::floor(n * range + param.minValue + 0.5f);
        if (range != 0.0f)
            n = (value - param.minValue) / range;
    }
    else
        value = AUParameterValueFromLinear(n, param);
    m_manager->SetParameterValue(param.index, value);
}

float ControlBase::NormalisedFromParam(const ParameterDescription& param) const
{
    return AUParameterValueToLinear(m_manager->GetParameterValue(param.index), param);
}

void ControlBase::GetNormalisedAsIntegerValued(const ParameterDescription& param, float& n)
{
    const float range = param.maxValue - param.minValue;
    if (range == 0.0f)
        return;
    n = (std::floor(n * range + param.minValue + 0.5f) - param.minValue) / range;
}

} // namespace TW
