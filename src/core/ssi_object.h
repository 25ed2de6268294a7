#pragma once
// The object framework: the base of every simulated object and the ordered lists
// that drive the eight object operations over their members.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/value_stream.h"

namespace kestra {

class Sim;

// Class tags for code that must tell apart a generic reference.
enum ObjectKind : std::uint8_t {
    KindOther = 0,
    KindBerth = 2,
    KindRoute = 6,
    KindARSTrain = 11,
};

// Base of every simulated object. The eight virtual operations default to doing
// nothing (clicks unclaimed, load and save read and write nothing).
class TSSIObject {
public:
    explicit TSSIObject(std::string id = {}) : ID(std::move(id)) {}
    virtual ~TSSIObject() = default;
    TSSIObject(const TSSIObject&) = delete;
    TSSIObject& operator=(const TSSIObject&) = delete;

    virtual bool CheckLeftClick(int /*x*/, int /*y*/) { return false; }
    virtual bool CheckRightClick(int /*x*/, int /*y*/) { return false; }
    virtual void Draw() {}
    virtual bool Load(ValueReader& /*reader*/) { return true; }
    virtual void MajorCycle() {}
    virtual void OneSecond() {}
    virtual void Reset() {}
    virtual bool Save(ValueWriter& /*writer*/) { return true; }

    std::string ID;
    std::uint8_t Kind = KindOther;
};

// Writes a boolean array as one integer, element i in bit i.
void WriteFlagSet(ValueWriter& writer, std::initializer_list<bool> flags);
void WriteFlagSet(ValueWriter& writer, const bool* flags, int count);
// Reads such an integer back into count booleans.
void ReadFlagSet(ValueReader& reader, bool* flags, int count);

// An ordered list of (key, object) pairs. Never sorted: insertion order is list order
// and every operation runs from index 0 upward. Entries do not own their objects.
class TSSIList {
public:
    struct Entry {
        std::string Key;
        TSSIObject* Object;
    };

    TSSIList() = default;
    virtual ~TSSIList() = default;
    TSSIList(const TSSIList&) = delete;
    TSSIList& operator=(const TSSIList&) = delete;

    int Count() const { return static_cast<int>(entries_.size()); }
    bool Empty() const { return entries_.empty(); }
    const std::string& Key(int index) const { return entries_[index].Key; }

    // Appends (key, object) and returns the new index.
    int Add(std::string key, TSSIObject* object);
    void AddObjectList(std::initializer_list<TSSIObject*> objects);
    int AddUniqueObject(std::string key, TSSIObject* object);
    void Insert(int index, std::string key, TSSIObject* object);
    // Removes the entry at index (the object is not destroyed).
    void Delete(int index);
    void Clear() { entries_.clear(); }
    // Sets the entry's object to none; Pack removes such entries.
    void SetItem(int index, TSSIObject* object) { entries_[index].Object = object; }

    bool CheckLeftClick(int x, int y);
    bool CheckRightClick(int x, int y);
    void CopyTo(TSSIList& destination) const;
    void Draw();
    int FindNextObject(int start, const TSSIObject* object) const;
    int FindPrevObject(int start, const TSSIObject* object) const;
    int IndexOf(const TSSIObject* object) const { return FindNextObject(0, object); }
    TSSIObject* GetItem(int index) const;
    void Pack();

    // Destroys the objects the list owns. A plain reference list owns nothing.
    virtual void FreeObjects() {}
    virtual bool Load(ValueReader& reader);
    virtual void MajorCycle();
    virtual void OneSecond();
    virtual void Reset();
    virtual bool Save(ValueWriter& writer);

protected:
    std::vector<Entry> entries_;
};

// A list of objects of one class. It owns the objects made through Create or Adopt
// (a class list) and merely refers to those added with Add (a reference list).
template <class T>
class TTypedList : public TSSIList {
public:
    template <class... Args>
    T& Create(Args&&... args) {
        return Adopt(std::make_unique<T>(std::forward<Args>(args)...));
    }

    T& Adopt(std::unique_ptr<T> object) {
        T& ref = *object;
        owned_.push_back(std::move(object));
        Add(ref.ID, &ref);
        return ref;
    }

    T* At(int index) const { return static_cast<T*>(GetItem(index)); }

    // Linear scan from index 0 comparing IDs exactly; first match or none.
    T* FindID(std::string_view id) const {
        for (const Entry& e : entries_) {
            if (e.Object && e.Object->ID == id) return static_cast<T*>(e.Object);
        }
        return nullptr;
    }

    // Destroys one owned object and sets its entry to none (packed later).
    void Destroy(T* object) {
        for (auto& e : entries_) {
            if (e.Object == object) e.Object = nullptr;
        }
        for (auto it = owned_.begin(); it != owned_.end(); ++it) {
            if (it->get() == object) {
                owned_.erase(it);
                break;
            }
        }
    }

    // Destroys every owned object and empties the list, so no entry is left dangling.
    void FreeObjects() override {
        entries_.clear();
        owned_.clear();
    }

    // Iteration over the non-empty entries as T*.
    template <class F>
    void ForEach(F&& f) const {
        for (const Entry& e : entries_) {
            if (e.Object) f(*static_cast<T*>(e.Object));
        }
    }

private:
    std::vector<std::unique_ptr<T>> owned_;
};

}  // namespace kestra
