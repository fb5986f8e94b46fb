// A typed key/value store whose values are kept as texts: the interface through which the
// camera features save and restore their settings. Bags are reference-counted and handed out
// only through CPropertyBagPtr.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace Bcam {

class CPropertyBagPtr;

class CPropertyBag {
public:
    CPropertyBag() = default;
    CPropertyBag(const CPropertyBag&) = delete;
    CPropertyBag& operator=(const CPropertyBag&) = delete;

    // A new sub-bag, or the existing one, of that name.
    virtual CPropertyBagPtr CreateBag(const std::string& name) = 0;
    virtual CPropertyBagPtr GetBag(const std::string& name) = 0;

    // Typed values. Every failure is thrown as BcamException with the operation's context.
    virtual void WriteBool(const std::string& key, bool value);
    virtual bool ReadBool(const std::string& key);
    virtual void WriteLong(const std::string& key, std::int32_t value);
    virtual std::int32_t ReadLong(const std::string& key);
    virtual void WriteFloat(const std::string& key, float value);
    virtual float ReadFloat(const std::string& key);
    virtual void WriteString(const std::string& key, const std::string& value);
    virtual std::string ReadString(const std::string& key);

    virtual ~CPropertyBag() = default;

protected:
    // The raw store: 0 for success, else an error code (the typed operations throw it).
    virtual std::uint32_t DoWriteString(const std::string& key, const std::string& value) = 0;
    virtual std::uint32_t DoReadString(const std::string& key, std::string& value) = 0;

private:
    friend class CPropertyBagPtr;
    // Changed only with interlocked operations, so handles may be dropped on any thread.
    volatile std::int32_t m_RefCount = 0;
};

// A counted handle to a bag; the bag is destroyed with its last handle.
class CPropertyBagPtr {
public:
    CPropertyBagPtr() = default;
    // Takes a freshly made bag; it is owned by handles from now on.
    explicit CPropertyBagPtr(std::unique_ptr<CPropertyBag> bag);
    CPropertyBagPtr(const CPropertyBagPtr& other);
    CPropertyBagPtr(CPropertyBagPtr&& other) noexcept : m_pBag(std::exchange(other.m_pBag, nullptr)) {}
    CPropertyBagPtr& operator=(CPropertyBagPtr other) noexcept {
        std::swap(m_pBag, other.m_pBag);
        return *this;
    }
    ~CPropertyBagPtr();

    template <class Bag, class... Args>
    static CPropertyBagPtr Make(Args&&... args) {
        return CPropertyBagPtr(std::make_unique<Bag>(std::forward<Args>(args)...));
    }

    CPropertyBag* operator->() const { return m_pBag; }
    CPropertyBag& operator*() const { return *m_pBag; }
    CPropertyBag* Get() const { return m_pBag; }
    explicit operator bool() const { return m_pBag != nullptr; }

private:
    void Release();
    CPropertyBag* m_pBag = nullptr;
};

// Value texts, shared by every bag. The parsers return false for a text of the wrong form.
std::string BoolText(bool value);
std::string LongText(std::int32_t value);
std::string FloatText(float value);
bool ParseBool(const std::string& text, bool& value);
bool ParseLong(const std::string& text, std::int32_t& value);
bool ParseFloat(const std::string& text, float& value);

}  // namespace Bcam
