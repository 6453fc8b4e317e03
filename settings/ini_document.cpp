// The settings store's operations and its file round trip.
#include "settings/ini_document.h"

#include "settings/ini_text.h"
#include "settings/settings_paths.h"
#include "settings/text_file.h"

#include <cwchar>
#include <utility>

// The runtime's wcstol clamps to the limits of long, which are the 32-bit ones here.
static_assert(sizeof(long) == sizeof(int32_t), "long must have 32 bits");

namespace {

constexpr std::wstring_view kDefaultNewline = L"\r\n";

// Names match without regard to letter case through an upper-cased private copy; false when memory runs out.
bool UpperCopy(std::wstring_view name, WideString& upper) {
    if (!upper.Assign(name)) {
        return false;
    }
    if (!upper.empty()) {
        (void)CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    }
    return true;
}

class DocumentLoader final : public IniTextHandler {
  public:
    explicit DocumentLoader(IniDocument& document) : document(document) {}

    bool OnLineBreak(std::wstring_view lineBreak) override {
        if (!document.newlineFound) {
            if (!document.newline.Assign(lineBreak)) {
                return false;
            }
            document.newlineFound = true;
        }
        return true;
    }

    bool OnSection(std::wstring_view name) override { return section.Assign(name); }

    bool OnEntry(std::wstring_view key, std::wstring_view value) override {
        return document.SetValue(section, key, &value, Raw) != nullptr;
    }

  private:
    IniDocument& document;
    WideString section;
};

}  // namespace

bool IniSection::GetInt(std::wstring_view key, int32_t* out) {
    WideString upper;
    if (out == nullptr || !UpperCopy(key, upper)) {
        return false;
    }
    IniEntry** found = entryIndex.Find(upper.view());
    if (found == nullptr) {
        return false;
    }
    IniEntry& entry = **found;
    if (entry.kind == Raw) {
        const wchar_t* text = entry.text.c_str();
        wchar_t* end = nullptr;
        entry.integer = std::wcstol(text, &end, 10);
        entry.kind = Integer;
        if (end == text) {
            return false;
        }
    }
    if (entry.kind != Integer) {
        return false;
    }
    *out = entry.integer;
    return true;
}

IniEntry* IniSection::SetValue(std::wstring_view key, const void* value, int32_t kind) {
    // Everything that may run out of memory comes first: a failed call changes nothing.
    WideString text;
    if (value != nullptr && (kind == Raw || kind == Text) &&
        !text.Assign(*static_cast<const std::wstring_view*>(value))) {
        return nullptr;
    }
    WideString upper;
    if (!UpperCopy(key, upper)) {
        return nullptr;
    }
    IniEntry* entry;
    if (IniEntry** found = entryIndex.Find(upper.view())) {
        entry = *found;
    } else {
        HeapPtr<IniEntry> created = MakeHeap<IniEntry>();
        if (!created || !created->name.Assign(key) || !entries.ReserveMore(1) ||
            !entryIndex.Insert(std::move(upper), created.get())) {
            return nullptr;
        }
        created->kind = kind;
        entry = created.get();
        (void)entries.Append(std::move(created));  // room reserved above
    }
    if (value != nullptr) {
        switch (kind) {
            case Raw:
            case Text:
                entry->text.Swap(text);
                break;
            case Integer:
                entry->integer = *static_cast<const int32_t*>(value);
                break;
            case Real:
                entry->real = *static_cast<const double*>(value);
                break;
            default:
                break;
        }
    }
    return entry;
}

IniDocument::IniDocument() : lock(MakeMutex()) {}

IniDocument::~IniDocument() = default;

bool IniDocument::GetInt(std::wstring_view section, std::wstring_view key, int32_t* out) {
    // `section` may be currentSection itself: copy before assigning.
    WideString name;
    WideString upper;
    if (!name.Assign(section) || !UpperCopy(section, upper)) {
        return false;
    }
    MutexLock guard(lock.get());
    currentSection.Swap(name);
    IniSection** found = sectionIndex.Find(upper.view());
    return found != nullptr && (*found)->GetInt(key, out);
}

IniEntry* IniDocument::SetValue(std::wstring_view section,
                                std::wstring_view key,
                                const void* value,
                                int32_t kind) {
    // `section` may be currentSection itself: copy before assigning.
    WideString name;
    WideString upper;
    if (!name.Assign(section) || !UpperCopy(section, upper)) {
        return nullptr;
    }
    MutexLock guard(lock.get());
    IniEntry* entry;
    if (IniSection** found = sectionIndex.Find(upper.view())) {
        entry = (*found)->SetValue(key, value, kind);
        if (entry == nullptr) {
            return nullptr;
        }
    } else {
        // A section comes into the document only with the entry that the call stores; until then a failure
        // drops it with what it holds.
        HeapPtr<IniSection> created = MakeHeap<IniSection>();
        if (!created || !created->name.Assign(name) || !sections.ReserveMore(1)) {
            return nullptr;
        }
        entry = created->SetValue(key, value, kind);
        if (entry == nullptr || !sectionIndex.Insert(std::move(upper), created.get())) {
            return nullptr;
        }
        (void)sections.Append(std::move(created));  // room reserved above
    }
    currentSection.Swap(name);
    modified = true;
    return entry;
}

void IniDocument::Load(std::wstring_view file) {
    // Until the whole file is in, the load counts as failed: a load that ran out of memory half-way must not
    // let a save replace the user's entries with the part that was read.
    loadFailed = true;
    modified = false;
    WideString name;
    if (file.empty() || !name.Assign(file)) {
        return;
    }
    path.Swap(name);
    WideString text;
    // A code of -1 after the read means the reader never got to the bytes.
    int32_t code = -1;
    const bool read = ReadTextFile(path.c_str(), text, &code);
    if (code != -1) {
        encoding = code;
    }
    const bool unreadable = !read && code == -1 && IsExistingFile(path.c_str());
    DocumentLoader loader(*this);
    const bool parsed = ParseIniText(text, loader);
    modified = false;  // what the file held is no change
    loadFailed = unreadable || !parsed;
}

void IniDocument::Save(std::wstring_view file, int32_t code) {
    if (!modified) {
        return;
    }
    if (!(loadFailed && file == path.view())) {
        MutexLock guard(lock.get());
        WideString target;
        WideString text;
        if (target.Assign(file) &&
            SerializeIni(sections, newline.empty() ? kDefaultNewline : newline.view(), text)) {
            (void)WriteTextFile(target.c_str(), text.c_str(), code);
        }
    }
    modified = false;
}
