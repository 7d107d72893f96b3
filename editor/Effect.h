// Something the drawing thread animates and draws beside the element tree.
#pragma once

namespace TW
{

class Manager;

class Effect
{
public:
    explicit Effect(Manager* manager) : m_manager(manager) {}
    virtual ~Effect() = default;

    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    // All drawing thread; the render and rendering operations with the GL context current.
    virtual void Update() {}
    virtual void Render2d() {}
    virtual void Render3d() const {}
    virtual void InitialiseRendering() {}
    virtual void ShutdownRendering() {}

protected:
    Manager* m_manager;
};

} // namespace TW
