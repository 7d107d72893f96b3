#include "PlistFile.h"

#include "OutputFile.h"
#include "RegularFile.h"

#include "Base64.h"

#include <pugixml.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace Tarn
{
namespace
{

constexpr const char* kDocType = "plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                 "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\"";

std::string Trim(const char* text)
{
    std::string s = text;
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

bool ParseInteger(const std::string& text, std::int64_t& out)
{
    if (text.empty())
        return false;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(begin, &end, 10);
    if (*end != '\0' || errno == ERANGE || end == begin)
        return false;
    // strtoll accepts leading white space and a '+'; the format allows a sign and digits only.
    if (!(text[0] == '-' || (text[0] >= '0' && text[0] <= '9')))
        return false;
    out = v;
    return true;
}

bool ParseReal(const std::string& text, double& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || end == text.c_str())
        return false;
    out = v;
    return true;
}

// One value element into out; false with a reason. skipped is set for nested containers.
bool ParseValue(const pugi::xml_node& node, const std::string& key, TW::ClassInfoValue& out,
                bool& skipped, std::string& error)
{
    skipped = false;
    const std::string type = node.name();
    const std::string where = " for key \"" + key + "\"";
    if (type == "integer")
    {
        std::int64_t v = 0;
        if (!ParseInteger(Trim(node.child_value()), v))
        {
            error = "malformed <integer>" + where;
            return false;
        }
        out = v;
        return true;
    }
    if (type == "real")
    {
        double v = 0.0;
        if (!ParseReal(Trim(node.child_value()), v))
        {
            error = "malformed <real>" + where;
            return false;
        }
        out = v;
        return true;
    }
    if (type == "string")
    {
        out = std::string(node.text().get());
        return true;
    }
    if (type == "data")
    {
        const std::string text = node.text().get();
        std::vector<std::uint8_t> bytes;
        std::string reason;
        if (!DecodeBase64(text.data(), text.size(), bytes, reason))
        {
            error = "malformed <data>" + where + ": " + reason;
            return false;
        }
        out = std::move(bytes);
        return true;
    }
    if (type == "true" || type == "false")
    {
        out = std::int64_t{type == "true" ? 1 : 0};
        return true;
    }
    if (type == "dict" || type == "array" || type == "date")
    {
        skipped = true;
        return true;
    }
    error = "unknown property-list element <" + type + ">" + where;
    return false;
}

} // namespace

std::string WritePlist(const TW::ClassInfoDictionary& dictionary)
{
    pugi::xml_document doc;
    auto decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    doc.append_child(pugi::node_doctype).set_value(kDocType);
    auto plist = doc.append_child("plist");
    plist.append_attribute("version") = "1.0";
    auto dict = plist.append_child("dict");
    for (const auto& [key, value] : dictionary)
    {
        dict.append_child("key").text().set(key.c_str());
        if (const auto* i = std::get_if<std::int64_t>(&value))
            dict.append_child("integer").text().set(std::to_string(*i).c_str());
        else if (const auto* d = std::get_if<double>(&value))
        {
            char buffer[40];
            std::snprintf(buffer, sizeof buffer, "%.17g", *d);
            dict.append_child("real").text().set(buffer);
        }
        else if (const auto* s = std::get_if<std::string>(&value))
            dict.append_child("string").text().set(s->c_str());
        else if (const auto* b = std::get_if<std::vector<std::uint8_t>>(&value))
            dict.append_child("data").text().set(
                ("\n" + EncodeBase64(b->data(), b->size(), 68, "\t\t") + "\t\t").c_str());
    }
    std::ostringstream out;
    doc.save(out, "\t", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

bool ParsePlist(const char* text, std::size_t size, TW::ClassInfoDictionary& out,
                std::string& error)
{
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed =
        doc.load_buffer(text, size, pugi::parse_default, pugi::encoding_utf8);
    if (!parsed)
    {
        error = std::string("not an XML document: ") + parsed.description() + " at byte " +
                std::to_string(parsed.offset);
        return false;
    }
    const pugi::xml_node plist = doc.document_element();
    if (std::strcmp(plist.name(), "plist") != 0)
    {
        error = std::string("not a property list: the document element is <") + plist.name() + ">";
        return false;
    }
    pugi::xml_node dict;
    int values = 0;
    for (pugi::xml_node child : plist.children())
        if (child.type() == pugi::node_element)
        {
            ++values;
            dict = child;
        }
    if (values != 1 || std::strcmp(dict.name(), "dict") != 0)
    {
        error = "the property list does not hold exactly one dictionary";
        return false;
    }

    TW::ClassInfoDictionary result;
    std::string key;
    bool haveKey = false;
    for (pugi::xml_node child : dict.children())
    {
        if (child.type() != pugi::node_element)
        {
            if (child.type() == pugi::node_pcdata && !Trim(child.value()).empty())
            {
                error = "stray text in the dictionary";
                return false;
            }
            continue;
        }
        if (!haveKey)
        {
            if (std::strcmp(child.name(), "key") != 0)
            {
                error = std::string("a <") + child.name() + "> in the dictionary has no <key>";
                return false;
            }
            key = child.text().get();
            if (result.count(key))
            {
                error = "the key \"" + key + "\" appears twice";
                return false;
            }
            haveKey = true;
            continue;
        }
        TW::ClassInfoValue value;
        bool skipped = false;
        if (!ParseValue(child, key, value, skipped, error))
            return false;
        if (!skipped)
            result.emplace(key, std::move(value));
        haveKey = false;
    }
    if (haveKey)
    {
        error = "the key \"" + key + "\" has no value";
        return false;
    }
    out = std::move(result);
    return true;
}

bool ReadPlistFile(const std::string& path, TW::ClassInfoDictionary& out, std::string& error)
{
    // Only a regular file, opened without blocking: a FIFO or a device is refused.
    std::string text;
    if (!TW::ReadRegularFile(path, kMaxPlistFileBytes, text, error))
        return false;
    if (!ParsePlist(text.data(), text.size(), out, error))
    {
        error = "\"" + path + "\": " + error;
        return false;
    }
    return true;
}

bool WritePlistFile(const std::string& path, const TW::ClassInfoDictionary& dictionary,
                    std::string& error)
{
    const std::string text = WritePlist(dictionary);
    TW::OutputFile output;
    if (!TW::ResolveOutputFile(path, output, error))
        return false;
    const int fd = TW::OpenOutputFile(output, error);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    bool written = true;
    while (done < text.size())
    {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
        {
            written = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    const int writeError = errno;
    // A device need not support fsync (/dev/null does, a pipe does not).
    const bool synced = output.direct || ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !synced || !closed)
    {
        error = "cannot write \"" + (output.direct ? output.target : output.temporary) +
                "\": " + std::strerror(written ? errno : writeError);
        TW::DiscardOutputFile(output);
        return false;
    }
    if (!TW::CommitOutputFile(output, error))
        return false;
    return true;
}

} // namespace Tarn
