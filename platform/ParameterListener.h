// Observers of parameter changes made through the notifying parameter call.
#pragma once

#include "AudioTypes.h"

namespace TW
{

class MusicDeviceBase;

struct ParameterAddress
{
    MusicDeviceBase* unit = nullptr;
    ParameterID id = 0;
    Scope scope = Scope::Global;
    Element element = 0;
};

// Told of every parameter change that goes through AUParameterSet. It may be called on any
// thread, the render thread included (scripts set parameters from MIDI handlers), so an
// implementation must not block or allocate.
class ParameterListener
{
public:
    virtual ~ParameterListener() = default;
    virtual void ParameterChanged(void* sendingObject, const ParameterAddress& address,
                                  float value) = 0;
};

} // namespace TW
