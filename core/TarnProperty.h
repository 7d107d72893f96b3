// The instance's custom properties, by number: the one list that the instance serving them and
// everyone asking for them (editor, scripts, OSC server, tracker) share.
#pragma once

#include "platform/MusicDeviceBase.h"

enum TarnProperty : TW::PropertyID
{
    kPropertyCocoaUI = 31,                    // TarnViewInfo: bundle location, editor factory
    kPropertyParameterStringFromValue = 33,   // display string of a value
    kPropertyDisplayBlock = 64001,            // pointer to the display block
    kPropertyPrimaryAppSupportName = 64002,   // pointer to a C string: skins folder name
    kPropertySecondaryAppSupportName = 64003, // pointer to a C string: product name for folders,
                                              // OSC replies and the network service
    kPropertyProductName = 64004,             // pointer to "Velluna": product name in one word
    kPropertyReserved64005 = 64005,           // advertised, never served
    kPropertyReserved64006 = 64006,           // advertised, never served
    kPropertyParameterCount = 64007,          // uint32 181
    kPropertyReserved64008 = 64008,           // advertised (1 byte, writable), never served
    kPropertyOSCPortOffset = 64009,           // int32: "OSC Port Offset" truncated
    kPropertyParameterTable = 64010,          // pointer to the first parameter table row
    kPropertySecondaryGuiFilename = 64011,    // pointer to a C string (null here)
    kPropertyReserved64013 = 64013,           // advertised (1 byte), never served
};
