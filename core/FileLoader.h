// The whole contents of one resource file of the plug-in's bundle or of a skin bundle.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace TW
{

class FileLoader
{
public:
    // Largest resource we load, in bytes; resources are scripts, shaders, images and fonts.
    static constexpr std::size_t kMaxResourceBytes = 64u << 20;

    // Reads resource name from bundle, a folder; with no bundle (null or empty) from the
    // plug-in's own bundle (FindPluginBundle). The name is relative to the bundle: an absolute
    // name, or one with a ".." component, is refused so a skin cannot reach outside its bundle.
    // A missing bundle or resource, an unreadable or oversized file leave the loader empty
    // (no data, size 0). Any thread.
    explicit FileLoader(const char* name, const char* bundle = nullptr);

    FileLoader(const FileLoader&) = delete;
    FileLoader& operator=(const FileLoader&) = delete;

    // The bytes, or null when empty. A terminating NUL follows the data (not counted in the
    // size), so text resources may be used as C strings.
    const void* GetData() const noexcept { return m_data.get(); }
    std::size_t GetSize() const noexcept { return m_size; }
    // The full path that was read; empty when the loader is empty.
    const std::string& GetPath() const noexcept { return m_path; }

private:
    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
    std::string m_path;
};

} // namespace TW
