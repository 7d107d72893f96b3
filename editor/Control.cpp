#include "Control.h"

#include "Manager.h"

namespace TW
{

Control::Control(Manager* manager, int paramIndex, const Bounds& bounds)
    : ControlBase(manager, bounds), m_param(manager->GetParameterDescription(paramIndex))
{
    switch (m_param.unit)
    {
    case kUnitIndexed:
    case kUnitBoolean:
    case kUnitMIDINoteNumber:
    case kUnitBeats:
        m_integerValued = true;
        break;
    default:
        break;
    }
    SetNormalisedValue(NormalisedFromParam(m_param));
}

void Control::Update()
{
    SetNormalisedValue(NormalisedFromParam(m_param));
}

void Control::MouseDown(const Point&, unsigned, int)
{
    m_manager->SetEditingParam(m_param.index);
}

void Control::MouseUp(const Point&, unsigned)
{
    m_manager->UnsetEditingParam(m_param.index);
}

void Control::MouseEntered()
{
    m_manager->SetMouseOverParam(m_param.index, this);
}

void Control::MouseExited()
{
    m_manager->ClearMouseOverParam(m_param.index);
}

} // namespace TW
