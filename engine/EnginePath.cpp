#include "EnginePath.h"

#include "platform/CpuFeatures.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace Tarn
{

namespace
{

EnginePath DetectPath() noexcept
{
    EnginePath best = TW::HasAvx512()    ? EnginePath::Avx512
                      : TW::HasAvx2Fma() ? EnginePath::Avx2
                                         : EnginePath::Sse2;
    if (const char* forced = std::getenv("VELLUNA_ENGINE_PATH"))
    {
        for (EnginePath p :
             {EnginePath::Scalar, EnginePath::Sse2, EnginePath::Avx2, EnginePath::Avx512})
            if (std::strcmp(forced, EnginePathName(p)) == 0 && IsEnginePathSupported(p))
                best = p;
    }
    return best;
}

} // namespace

EnginePath DefaultEnginePath() noexcept
{
    static const EnginePath path = DetectPath();
    return path;
}

bool IsEnginePathSupported(EnginePath path) noexcept
{
    switch (path)
    {
    case EnginePath::Avx2:
        return TW::HasAvx2Fma();
    case EnginePath::Avx512:
        return TW::HasAvx512();
    case EnginePath::Scalar:
    case EnginePath::Sse2:
        break;
    }
    return true;
}

const char* EnginePathName(EnginePath path) noexcept
{
    switch (path)
    {
    case EnginePath::Scalar:
        return "scalar";
    case EnginePath::Sse2:
        return "sse2";
    case EnginePath::Avx2:
        return "avx2";
    case EnginePath::Avx512:
        return "avx512";
    }
    return "scalar";
}

VoiceKernelInfo KernelForPath(EnginePath path) noexcept
{
    switch (path)
    {
    case EnginePath::Sse2:
        return {RenderVoicesSse2, 4};
    case EnginePath::Avx512:
        if (TW::HasAvx512())
            return {RenderVoicesAvx512, 16};
        [[fallthrough]];
    case EnginePath::Avx2:
        if (TW::HasAvx2Fma())
            return {RenderVoicesAvx2, 8};
        return {RenderVoicesSse2, 4};
    case EnginePath::Scalar:
        break;
    }
    return {RenderVoicesScalar, 1};
}

} // namespace Tarn
