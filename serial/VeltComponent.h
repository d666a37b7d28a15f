// The small component framework the port component stands on: a name, a tag,
// the owner it was created with and the loading / design-time state flags.
// Ownership itself is by std::unique_ptr in the owner; the owner pointer is
// only a record of who created the component.
#pragma once

#include <string>

class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr) : owner_(owner) {}
    virtual ~TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    long Tag() const { return tag_; }
    void SetTag(long tag) { tag_ = tag; }

    // True while settings are being restored from a stored form: setters
    // only store, and failing result codes are returned instead of raised.
    bool Loading() const { return loading_; }
    // True in a form designer; the program never runs in one.
    bool Designing() const { return designing_; }
    void SetDesigning(bool on) { designing_ = on; }

    // Stored-settings protocol: BeginLoading, the property setters, then
    // EndLoading, which runs Loaded().
    void BeginLoading() { loading_ = true; }
    void EndLoading()
    {
        loading_ = false;
        Loaded();
    }

protected:
    virtual void Loaded() {}

private:
    TComponent* owner_;
    std::string name_;
    long tag_ = 0;
    bool loading_ = false;
    bool designing_ = false;
};
