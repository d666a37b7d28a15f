// The port selector the serial channel fills and listens to: a list of
// "COM<n>" items (each with a tooltip naming the device), the current text,
// and a callback for when the user changes that text. The windowed program
// fills this with its combo box; TListPortChooser serves tests and the
// headless monitor.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

class TPortChooser {
public:
    virtual ~TPortChooser() = default;
    // Appends an item behind those already listed.
    virtual void AddItem(const std::string& text, const std::string& toolTip) = 0;
    virtual std::string Text() const = 0;
    // Sets the shown text from code; this must not call the change handler
    // (only the user's edits and choices do).
    virtual void SetText(const std::string& text) = 0;
    // Installs the handler for the user's changes of the text (replacing any
    // earlier one).
    virtual void SetOnChange(std::function<void()> handler) = 0;
};

// A plain list: what was added, the text, and UserChanges to stand in for the
// user typing or choosing.
class TListPortChooser : public TPortChooser {
public:
    struct Item {
        std::string text;
        std::string toolTip;
    };

    void AddItem(const std::string& text, const std::string& toolTip) override { items_.push_back({text, toolTip}); }
    std::string Text() const override { return text_; }
    void SetText(const std::string& text) override { text_ = text; }
    void SetOnChange(std::function<void()> handler) override { onChange_ = std::move(handler); }

    const std::vector<Item>& Items() const { return items_; }
    // The user changed the text: store it and run the change handler.
    void UserChanges(const std::string& text)
    {
        text_ = text;
        if (onChange_) onChange_();
    }

private:
    std::vector<Item> items_;
    std::string text_;
    std::function<void()> onChange_;
};
