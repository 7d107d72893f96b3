// The instrument's editor manager: the Volume read-out also shows its level in decibels.
#pragma once

#include "Manager.h"

class ALmanager : public TW::Manager
{
public:
    ALmanager(TW::MusicDeviceBase* instance, TW::ManagerPlatformBridge* bridge);

    void ExtendParamValue(TW::Font* font, int index, float& x, float& y, char*& cursor) override;

private:
    TW::CachedText m_decibelText;
};
