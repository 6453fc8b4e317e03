// The settings store's operations and its file round trip.
#include "settings/ini_document.h"

#include "settings/ini_text.h"
#include "settings/settings_paths.h"
#include "settings/text_file.h"

#include <new>

namespace {

// Names match without regard to letter case through an upper-cased private copy.
std::wstring UpperCopy(const std::wstring& name) {
    std::wstring upper(name);
    if (!upper.empty()) {
        (void)CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    }
    return upper;
}

// Room for one more element, growing as push_back grows, so that the push_back that follows cannot fail.
template <typename Vector>
void ReserveOneMore(Vector& items) {
    if (items.size() == items.capacity()) {
        items.reserve(items.empty() ? 4 : 2 * items.size());
    }
}

class DocumentLoader final : public IniTextHandler {
  public:
    explicit DocumentLoader(IniDocument& document) : document(document) {}

    void OnLineBreak(std::wstring_view lineBreak) override {
        if (!document.newlineFound) {
            document.newline.assign(lineBreak);
        }
        document.newlineFound = true;
    }

    void OnSection(std::wstring_view name) override { section.assign(name); }

    void OnEntry(std::wstring_view key, std::wstring_view value) override {
        const std::wstring text(value);
        (void)document.SetValue(section, std::wstring(key), &text, Raw);
    }

  private:
    IniDocument& document;
    std::wstring section;
};

}  // namespace

bool IniSection::GetInt(const std::wstring& key, int32_t* out) {
    const auto found = entryIndex.find(UpperCopy(key));
    if (found == entryIndex.end() || out == nullptr) {
        return false;
    }
    IniEntry& entry = *found->second;
    if (entry.kind == Raw) {
        entry.kind = Integer;
        entry.integer = 0;
        if (!ParseDecimalInt32(entry.text, &entry.integer)) {
            return false;
        }
    }
    if (entry.kind != Integer) {
        return false;
    }
    *out = entry.integer;
    return true;
}

IniEntry* IniSection::SetValue(const std::wstring& key, const void* value, int32_t kind) {
    // Everything that may run out of memory comes first: a failed call changes nothing.
    std::wstring text;
    if (value != nullptr && (kind == Raw || kind == Text)) {
        text = *static_cast<const std::wstring*>(value);
    }
    std::wstring upper = UpperCopy(key);
    auto found = entryIndex.find(upper);
    IniEntry* entry;
    if (found != entryIndex.end()) {
        entry = found->second;
    } else {
        auto created = std::make_unique<IniEntry>();
        created->name = key;
        created->kind = kind;
        entry = created.get();
        ReserveOneMore(entries);
        entryIndex.emplace(std::move(upper), entry);
        entries.push_back(std::move(created));
    }
    if (value != nullptr) {
        switch (kind) {
            case Raw:
            case Text:
                entry->text.swap(text);
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

bool IniDocument::GetInt(const std::wstring& section, const std::wstring& key, int32_t* out) {
    // `section` may be currentSection itself: copy before assigning.
    std::wstring upper = UpperCopy(section);
    currentSection = section;
    MutexLock guard(lock.get());
    const auto found = sectionIndex.find(upper);
    if (found == sectionIndex.end()) {
        return false;
    }
    return found->second->GetInt(key, out);
}

IniEntry* IniDocument::SetValue(const std::wstring& section,
                                const std::wstring& key,
                                const void* value,
                                int32_t kind) {
    std::wstring upper = UpperCopy(section);
    currentSection = section;
    MutexLock guard(lock.get());
    auto found = sectionIndex.find(upper);
    IniSection* target;
    std::unique_ptr<IniSection> created;
    if (found != sectionIndex.end()) {
        target = found->second;
    } else {
        // A section comes into the document only with the entry that the call stores.
        created = std::make_unique<IniSection>(currentSection);
        target = created.get();
        ReserveOneMore(sections);
    }
    IniEntry* entry = target->SetValue(key, value, kind);
    if (created) {
        sectionIndex.emplace(std::move(upper), target);  // on failure the new section goes with its entry
        sections.push_back(std::move(created));          // room reserved above
    }
    modified = true;
    return entry;
}

void IniDocument::Load(const std::wstring& file) {
    // Until the whole file is in, the load counts as failed: a load that ran out of memory half-way must not
    // let a save replace the user's entries with the part that was read.
    loadFailed = true;
    path = file;
    std::wstring text;
    // A code of -1 after the read means the reader never got to the bytes.
    int32_t code = -1;
    const bool read = ReadTextFile(path.c_str(), text, &code);
    if (code != -1) {
        encoding = code;
    }
    const bool unreadable = !read && code == -1 && IsExistingFile(path.c_str());
    DocumentLoader loader(*this);
    ParseIniText(text, loader);
    modified = false;
    loadFailed = unreadable;
}

void IniDocument::Save(const std::wstring& file, int32_t code) {
    if (!modified) {
        return;
    }
    if (!(loadFailed && file == path)) {
        MutexLock guard(lock.get());
        try {
            const std::wstring text = SerializeIni(sections, newline);
            (void)WriteTextFile(file.c_str(), text.c_str(), code);
        } catch (const std::bad_alloc&) {
            // The file stays as it was.
        }
    }
    modified = false;
}
