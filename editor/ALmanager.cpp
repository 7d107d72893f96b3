#include "ALmanager.h"

#include "core/ParameterTable.h"

#include <cmath>
#include <cstdio>
#include <cstring>

ALmanager::ALmanager(TW::MusicDeviceBase* instance, TW::ManagerPlatformBridge* bridge)
    : Manager(instance, bridge)
{
}

void ALmanager::ExtendParamValue(TW::Font* font, int index, float& x, float& y, char*& cursor)
{
    if (index != Tarn::kParamVolume)
        return;
    const float v = GetParameterValue(Tarn::kParamVolume);
    char text[32];
    if (v != 0.0f)
        std::snprintf(text, sizeof text, " %+.2f dB", 20.0 * std::log10(std::pow(double(v), 3.0)));
    else
        std::snprintf(text, sizeof text, " -inf");
    if (font)
    {
        // Drawn without the leading blank.
        const char* drawn = v != 0.0f ? text + 1 : "-inf dB";
        m_decibelText.Update(font, drawn, x, y);
        m_decibelText.Draw(font);
        x += font->GetStringWidth(drawn);
    }
    if (cursor)
    {
        const std::size_t n = std::strlen(text);
        std::memcpy(cursor, text, n + 1);
        cursor += n;
    }
}
