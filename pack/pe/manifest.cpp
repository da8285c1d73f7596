#include "pack/pe/manifest.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

namespace {

constexpr char kManifestFormat[] =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">
    <security>
      <requestedPrivileges>
        <requestedExecutionLevel level="%s" uiAccess="false"/>
      </requestedPrivileges>
    </security>
  </trustInfo>
  <compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1">
    <application>
      <!-- Windows Vista, 7, 8, 8.1, and 10 and 11 -->
      <supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>
      <supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>
      <supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>
      <supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>
      <supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>
    </application>
  </compatibility>
  <application xmlns="urn:schemas-microsoft-com:asm.v3">
    <windowsSettings>
      <dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>
    </windowsSettings>
  </application>
  <dependency>
    <dependentAssembly>
      <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0"
                        processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>
    </dependentAssembly>
  </dependency>
</assembly>
)";

bool IsNameStart(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool IsNameChar(char c)
{
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// A reader of just enough XML to tell whether a manifest is well-formed:
// elements that nest, quoted attributes given once, comments, processing
// instructions, CDATA, and entity references in text and values.
class XmlChecker {
public:
    explicit XmlChecker(const std::string& text) : text_(text) {}

    std::optional<std::string> Check()
    {
        if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0)
            at_ = 3;
        while (Skip())
            if (!Markup())
                return error_;
        if (!error_.empty())
            return error_;
        if (!open_.empty())
            return "<" + open_.back() + "> is not closed";
        if (root_.empty())
            return "no root element";
        const size_t colon = root_.find(':');
        if ((colon == std::string::npos ? root_ : root_.substr(colon + 1)) != "assembly")
            return "its root is <" + root_ + ">, not <assembly>";
        return std::nullopt;
    }

private:
    // Past text up to the next markup; false at the end.
    bool Skip()
    {
        while (at_ < text_.size() && text_[at_] != '<') {
            if (text_[at_] == '&' && !Reference())
                return false;
            if (open_.empty() && !std::isspace(static_cast<unsigned char>(text_[at_])))
                return Fail("text outside the root element");
            ++at_;
        }
        return at_ < text_.size();
    }

    bool Markup()
    {
        if (Starts("<!--"))
            return Until("-->", "a comment");
        if (Starts("<?"))
            return Until("?>", "a processing instruction");
        if (Starts("<![CDATA["))
            return open_.empty() ? Fail("CDATA outside the root element") : Until("]]>", "a CDATA section");
        if (Starts("<!"))
            return Fail("a document type declaration, which a manifest does not have");
        if (Starts("</"))
            return EndTag();
        return StartTag();
    }

    bool StartTag()
    {
        ++at_;
        const std::string name = Name();
        if (name.empty())
            return Fail("a '<' that starts no element");
        if (open_.empty() && !root_.empty())
            return Fail("a second root element <" + name + ">");
        if (root_.empty())
            root_ = name;
        std::set<std::string> attributes;
        for (;;) {
            SkipSpace();
            if (Starts("/>"))
                return at_ += 2, true;
            if (Starts(">")) {
                ++at_;
                open_.push_back(name);
                return true;
            }
            const std::string attribute = Name();
            if (attribute.empty())
                return Fail("a malformed tag <" + name + ">");
            if (!attributes.insert(attribute).second)
                return Fail("the attribute " + attribute + " given twice in <" + name + ">");
            SkipSpace();
            if (!Starts("="))
                return Fail("the attribute " + attribute + " without a value");
            ++at_;
            SkipSpace();
            if (at_ >= text_.size() || (text_[at_] != '"' && text_[at_] != '\''))
                return Fail("the attribute " + attribute + " without quotes");
            const char quote = text_[at_++];
            for (; at_ < text_.size() && text_[at_] != quote; ++at_)
                if (text_[at_] == '<' || (text_[at_] == '&' && !Reference()))
                    return Fail("a '<' or '&' inside the value of " + attribute);
            if (at_++ >= text_.size())
                return Fail("the value of " + attribute + " is not closed");
        }
    }

    bool EndTag()
    {
        at_ += 2;
        const std::string name = Name();
        SkipSpace();
        if (!Starts(">"))
            return Fail("a malformed end tag </" + name);
        ++at_;
        if (open_.empty() || open_.back() != name)
            return Fail("</" + name + "> closes " + (open_.empty() ? "nothing" : "<" + open_.back() + ">"));
        open_.pop_back();
        return true;
    }

    // An entity or character reference at '&'; leaves at_ on its ';'.
    bool Reference()
    {
        const size_t end = text_.find(';', at_);
        const std::string body = end == std::string::npos ? "" : text_.substr(at_ + 1, end - at_ - 1);
        static const std::set<std::string> named = {"lt", "gt", "amp", "apos", "quot"};
        const bool numeric = body.size() > 1 && body[0] == '#' &&
                             body.find_first_not_of(body[1] == 'x' ? "0123456789abcdefABCDEF" : "0123456789",
                                                    body[1] == 'x' ? 2 : 1) == std::string::npos;
        if (!named.count(body) && !numeric)
            return Fail("an '&' that is no entity reference");
        at_ = end;
        return true;
    }

    std::string Name()
    {
        const size_t start = at_;
        if (at_ < text_.size() && IsNameStart(text_[at_]))
            while (at_ < text_.size() && IsNameChar(text_[at_]))
                ++at_;
        return text_.substr(start, at_ - start);
    }

    bool Until(const char* end, const char* what)
    {
        const size_t found = text_.find(end, at_ + 2);
        if (found == std::string::npos)
            return Fail(std::string(what) + " that is not closed");
        at_ = found + std::strlen(end);
        return true;
    }

    void SkipSpace()
    {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_])))
            ++at_;
    }

    bool Starts(const char* prefix) const { return text_.compare(at_, std::strlen(prefix), prefix) == 0; }

    bool Fail(const std::string& why)
    {
        if (error_.empty())
            error_ = why;
        return false;
    }

    const std::string& text_;
    size_t at_ = 0;
    std::vector<std::string> open_;
    std::string root_;
    std::string error_;
};

}  // namespace

bool IsExecutionLevel(const std::string& level)
{
    return level == "asInvoker" || level == "highestAvailable" || level == "requireAdministrator";
}

Bytes MakeManifest(const std::string& level)
{
    char text[sizeof kManifestFormat + 32];
    const int length = std::snprintf(text, sizeof text, kManifestFormat, level.c_str());
    return Bytes(text, text + length);
}

std::optional<std::string> CheckManifest(const Bytes& manifest)
{
    const std::string text(manifest.begin(), manifest.end());
    if (text.find('\0') != std::string::npos)
        return "not UTF-8 XML (it holds NUL bytes)";
    return XmlChecker(text).Check();
}

std::string RequestedExecutionLevel(const Bytes& manifest)
{
    const std::string text(manifest.begin(), manifest.end());
    const size_t element = text.find("requestedExecutionLevel");
    const size_t level = element == std::string::npos ? element : text.find("level", element + 23);
    const size_t quote = level == std::string::npos ? level : text.find_first_of("\"'", level);
    if (quote == std::string::npos)
        return "";
    const size_t end = text.find(text[quote], quote + 1);
    return end == std::string::npos ? "" : text.substr(quote + 1, end - quote - 1);
}
