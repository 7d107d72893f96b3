#include "MultiControl.h"

#include "Manager.h"

namespace TW
{

MultiControl::MultiControl(Manager* manager, int firstParamIndex, int count, const Bounds& bounds)
    : ControlBase(manager, bounds), m_count(count > 0 ? count : 1),
      m_values(new std::atomic<float>[m_count > 0 ? m_count : 1])
{
    for (int i = 0; i < m_count; ++i)
    {
        m_params.push_back(manager->GetParameterDescription(firstParamIndex + i));
        SetNormalisedValue(i, NormalisedFromParam(m_params.back()));
    }
    m_integerValued = m_params.front().unit == kUnitIndexed;
}

} // namespace TW
