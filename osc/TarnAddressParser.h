// The "/tarn/" address family, through which one OSC port reaches every instance in the process:
// "/tarn/" then one or more groups, each naming an instance (by number, or by name and number or
// "*") and a parameter (by id or name); with "+multi1" first, each group also carries a count
// whose value minus 1 is added to the parameter id.
#pragma once

#include <string>
#include <vector>

namespace TW
{

// One group of the address, in the tracker's terms.
struct TarnAddressGroup
{
    bool hasInstanceName = false;
    std::string instanceName;
    int instanceNumber = 0; // -1 for "*"
    bool hasParameterName = false;
    std::string parameterName;
    int parameterId = -1;
    int parameterOffset = 0;
};

// Reads the part of the address after "/tarn/". False when a separating "/" is missing, a number
// does not parse, a part is empty, or a first part begins with "+" other than "+multi1".
bool ParseTarnAddress(const char* rest, std::vector<TarnAddressGroup>& groups);

} // namespace TW
