#include "Vst3ComponentHandler.h"

#include <cstring>

namespace VellunaHostTest
{

using namespace Vst3Abi;

namespace
{

Vst3ComponentHandler* Of(void* self)
{
    return static_cast<Vst3ComponentHandler*>(self);
}

} // namespace

Vst3ComponentHandler::Vst3ComponentHandler() : m_uiThread(std::this_thread::get_id())
{
    static const IComponentHandlerVtbl table = {
        [](void* self, const std::uint8_t* iid, void** obj) -> tresult
        {
            if (iid && (std::memcmp(iid, kFUnknown.bytes, 16) == 0 ||
                        std::memcmp(iid, kIComponentHandler.bytes, 16) == 0))
            {
                ++Of(self)->m_references;
                *obj = self;
                return kResultOk;
            }
            *obj = nullptr;
            return kNoInterface;
        },
        [](void* self) -> std::uint32_t
        { return static_cast<std::uint32_t>(++Of(self)->m_references); },
        [](void* self) -> std::uint32_t
        { return static_cast<std::uint32_t>(--Of(self)->m_references); },
        [](void* self, ParamID id) -> tresult
        {
            Of(self)->Record(Edit::kBegin, id, 0.0);
            return kResultOk;
        },
        [](void* self, ParamID id, double value) -> tresult
        {
            Of(self)->Record(Edit::kPerform, id, value);
            return kResultOk;
        },
        [](void* self, ParamID id) -> tresult
        {
            Of(self)->Record(Edit::kEnd, id, 0.0);
            return kResultOk;
        },
        [](void* self, std::int32_t) -> tresult
        {
            ++Of(self)->m_restarts;
            return kResultOk;
        }};
    m_vtbl = &table;
}

void Vst3ComponentHandler::Record(Edit::Kind kind, ParamID id, double value)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_edits.push_back({kind, id, value, std::this_thread::get_id() == m_uiThread});
    if (kind == Edit::kPerform)
        m_pending.emplace_back(id, value);
}

std::vector<Vst3ComponentHandler::Edit> Vst3ComponentHandler::Edits() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_edits;
}

void Vst3ComponentHandler::Clear()
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_edits.clear();
}

void Vst3ComponentHandler::TakePending(ParamChanges& changes)
{
    std::unique_lock<std::mutex> hold(m_lock, std::try_to_lock);
    if (!hold.owns_lock())
        return;
    for (const auto& [id, value] : m_pending)
        changes.Add(id)->points.assign(1, {0, value}); // the latest value of each
    m_pending.clear();
}

} // namespace VellunaHostTest
