#include "ui/DialogBuilder.h"

#include "platform/DebugOutput.h"
#include "ui/Controls.h"
#include "ui/List.h"
#include "ui/PaintManager.h"
#include "ui/internal/ControlRelay.h"
#include "ui/internal/Resources.h"

#include <QXmlStreamReader>

#include <functional>
#include <map>
#include <memory>
#include <vector>

using namespace ui::detail;

namespace {

using Attributes = std::vector<std::pair<std::string, std::string>>;

// A parsed XML element.
struct Node {
    std::string name;
    Attributes attributes;
    std::vector<std::unique_ptr<Node>> children;
    std::string text;
    const std::string* attr(const char* key) const
    {
        for (auto& [k, v] : attributes)
            if (k == key)
                return &v;
        return nullptr;
    }
};

std::unique_ptr<Node> parse(const QByteArray& bytes, std::string& error)
{
    QXmlStreamReader xml(bytes);
    std::unique_ptr<Node> root;
    std::vector<Node*> stack;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            auto node = std::make_unique<Node>();
            node->name = toStd(xml.name().toString());
            for (const QXmlStreamAttribute& a : xml.attributes())
                node->attributes.emplace_back(toStd(a.name().toString()), toStd(a.value().toString()));
            Node* raw = node.get();
            if (stack.empty())
                root = std::move(node);
            else
                stack.back()->children.push_back(std::move(node));
            stack.push_back(raw);
        } else if (xml.isEndElement()) {
            stack.pop_back();
        } else if (xml.isCharacters() && !stack.empty()) {
            stack.back()->text += toStd(xml.text().toString());
        }
    }
    if (xml.hasError()) {
        error = toStd(xml.errorString()) + " at line " + std::to_string(xml.lineNumber());
        return nullptr;
    }
    if (!root)
        error = "empty layout";
    return root;
}

CControlUI* makeControl(const std::string& name)
{
    static const std::map<std::string, std::function<CControlUI*()>> factory = {
        {"Control", [] { return new CControlUI; }},
        {"Container", [] { return new CContainerUI; }},
        {"VerticalLayout", [] { return new CVerticalLayoutUI; }},
        {"HorizontalLayout", [] { return new CHorizontalLayoutUI; }},
        {"TabLayout", [] { return new CTabLayoutUI; }},
        {"Label", [] { return new CLabelUI; }},
        {"Text", [] { return new CTextUI; }},
        {"Button", [] { return new CButtonUI; }},
        {"Option", [] { return new COptionUI; }},
        {"CheckBox", [] { return new CCheckBoxUI; }},
        {"Slider", [] { return new CSliderUI; }},
        {"Edit", [] { return new CEditUI; }},
        {"Combo", [] { return new CComboUI; }},
        {"Item", [] { return new CListLabelElementUI; }},
        {"ListLabelElement", [] { return new CListLabelElementUI; }},
        {"List", [] { return new CListUI; }},
        {"ListContainerElement", [] { return new CListContainerElementUI; }},
        {"ListTextElement", [] { return new CListTextElementUI; }},
    };
    auto it = factory.find(name);
    return it == factory.end() ? nullptr : it->second();
}

class Builder {
public:
    Builder(IDialogBuilderCallback* callback, CPaintManagerUI* manager) : m_callback(callback), m_manager(manager) {}

    // Window attributes, fonts and styles; returns the root control's node.
    // An included layout keeps the including window's attributes.
    const Node* readWindow(const Node& window, bool included = false)
    {
        const Node* rootNode = nullptr;
        for (auto& child : window.children) {
            if (child->name == "Font") {
                if (m_manager) {
                    auto get = [&](const char* k) { return child->attr(k) ? *child->attr(k) : std::string(); };
                    m_manager->AddFont(parseInt(get("id"), 0), get("name"), parseInt(get("size"), 12),
                                       parseBool(get("bold")), parseBool(get("underline")), parseBool(get("italic")),
                                       parseBool(get("default")));
                }
            } else if (child->name == "Style") {
                if (auto* n = child->attr("name"))
                    m_styles[*n] = child->attr("value") ? *child->attr("value") : std::string();
            } else if (!rootNode) {
                rootNode = child.get();
            }
        }
        if (m_manager && !included) {
            WindowFrameInfo& f = m_manager->Frame();
            int r[4];
            for (auto& [key, value] : window.attributes) {
                if (key == "size" && parseIntList(value, r, 2))
                    f.initSize = {r[0], r[1]};
                else if (key == "mininfo" && parseIntList(value, r, 2))
                    f.minSize = {r[0], r[1]};
                else if (key == "maxinfo" && parseIntList(value, r, 2))
                    f.maxSize = {r[0], r[1]};
                else if (key == "sizebox") {
                    if (parseIntList(value, r, 4))
                        f.sizeBox = {r[0], r[1], r[2], r[3]};
                    else if (parseIntList(value, r, 1))
                        f.sizeBox = {r[0], r[0], r[0], r[0]};
                } else if (key == "caption") {
                    if (parseIntList(value, r, 4))
                        f.caption = {r[0], r[1], r[2], r[3]};
                    else if (parseIntList(value, r, 1))
                        f.caption = {0, 0, 0, r[0]};
                } else if (key == "roundcorner") {
                    if (parseIntList(value, r, 2))
                        f.roundCorner = {r[0], r[1]};
                    else if (parseIntList(value, r, 1))
                        f.roundCorner = {r[0], r[0]};
                } else if (key == "shadowsize")
                    f.shadowSize = parseInt(value);
                else if (key == "shadowdarkness")
                    f.shadowDarkness = parseInt(value);
                else if (key == "bkcolor")
                    f.bkColor = parseColor(value);
            }
        }
        return rootNode;
    }

    CControlUI* build(const Node& node, int depth = 0)
    {
        if (depth > 64) {
            m_error = "layout nested too deeply";
            return nullptr;
        }
        if (node.name == "Include") {
            const std::string* source = node.attr("source");
            QByteArray bytes;
            if (!source || !readSkinFile(*source, bytes)) {
                platform::DebugPrintf("layout include missing: %s\n", source ? source->c_str() : "(no source)");
                return nullptr;
            }
            std::string error;
            auto included = parse(bytes, error);
            if (!included) {
                platform::DebugPrintf("layout include %s: %s\n", source->c_str(), error.c_str());
                return nullptr;
            }
            m_keep.push_back(std::move(included));
            const Node* root = m_keep.back().get();
            if (root->name == "Window")
                root = readWindow(*root, true);
            return root ? build(*root, depth + 1) : nullptr;
        }
        CControlUI* control = makeControl(node.name);
        if (!control && m_callback)
            control = m_callback->CreateControl(node.name.c_str());
        if (!control) {
            platform::DebugPrintf("layout: unknown control <%s> skipped\n", node.name.c_str());
            return nullptr;
        }
        // Widget kinds must be known before other attributes make the widget.
        if (auto* kind = node.attr("kind"))
            control->SetAttribute("kind", *kind);
        if (auto* vertical = node.attr("vertical"))
            control->SetAttribute("vertical", *vertical);
        if (auto* scroll = node.attr("vscrollbar"))
            control->SetAttribute("vscrollbar", *scroll);
        if (auto* style = node.attr("style")) {
            auto it = m_styles.find(*style);
            if (it != m_styles.end())
                control->ApplyAttributeList(it->second);
        }
        for (auto& [key, value] : node.attributes)
            if (key != "kind" && key != "vertical" && key != "vscrollbar")
                control->SetAttribute(key, value);
        if (node.attributes.empty() || !node.attr("text"))
            if (!node.text.empty() && node.text.find_first_not_of(" \t\r\n") != std::string::npos)
                control->SetText(node.text);

        if (auto* list = dynamic_cast<CListUI*>(control)) {
            for (auto& child : node.children) {
                if (child->name == "Column") {
                    const std::string* id = child->attr("textid");
                    const std::string* text = child->attr("text");
                    const std::string* width = child->attr("width");
                    list->AddColumn(id     ? *id
                                    : text ? *text
                                           : std::string(),
                                    width ? parseInt(*width, 80) : 80, id != nullptr);
                } else if (CControlUI* row = build(*child, depth + 1)) {
                    if (!list->Add(row))
                        delete row;
                }
            }
        } else if (auto* container = dynamic_cast<CContainerUI*>(control)) {
            for (auto& child : node.children)
                if (CControlUI* sub = build(*child, depth + 1))
                    if (!container->Add(sub))
                        delete sub;
        }
        return control;
    }

    std::string m_error;

private:
    IDialogBuilderCallback* m_callback;
    CPaintManagerUI* m_manager;
    std::map<std::string, std::string> m_styles;
    std::vector<std::unique_ptr<Node>> m_keep;
};

} // namespace

CControlUI* CDialogBuilder::Create(const std::string& skinFile, IDialogBuilderCallback* callback,
                                   CPaintManagerUI* manager, CControlUI* parent)
{
    QByteArray bytes;
    if (!readSkinFile(skinFile, bytes)) {
        m_error = "layout file not found: " + skinFile;
        platform::DebugPrintf("%s\n", m_error.c_str());
        return nullptr;
    }
    return CreateFromText(std::string(bytes.constData(), static_cast<size_t>(bytes.size())), callback, manager, parent);
}

CControlUI* CDialogBuilder::CreateFromText(const std::string& xml, IDialogBuilderCallback* callback,
                                           CPaintManagerUI* manager, CControlUI* parent)
{
    m_error.clear();
    auto root = parse(QByteArray(xml.data(), static_cast<qsizetype>(xml.size())), m_error);
    if (!root) {
        platform::DebugPrintf("layout: %s\n", m_error.c_str());
        return nullptr;
    }
    Builder builder(callback, manager);
    const Node* top = root.get();
    if (top->name == "Window")
        top = builder.readWindow(*top);
    if (!top) {
        m_error = "layout has no root control";
        return nullptr;
    }
    CControlUI* control = builder.build(*top);
    if (!control) {
        m_error = builder.m_error.empty() ? "root control could not be built" : builder.m_error;
        return nullptr;
    }
    if (auto* container = dynamic_cast<CContainerUI*>(parent))
        if (!container->Add(control)) {
            delete control;
            return nullptr;
        }
    return control;
}
