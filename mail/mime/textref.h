// A text either copied in or borrowed from a caller that keeps it alive, and kept the same way by a copy.
#pragma once

#include <string>
#include <string_view>

class DwTextRef {
public:
    explicit DwTextRef(std::string copy) : own_(std::move(copy)), view_(own_), owned_(true) {}
    explicit DwTextRef(std::string_view borrowed) : view_(borrowed) {}
    DwTextRef(const DwTextRef& other)
        : own_(other.own_), view_(other.owned_ ? std::string_view(own_) : other.view_), owned_(other.owned_) {
    }
    DwTextRef& operator=(const DwTextRef& other) {
        if (this != &other) {
            own_ = other.own_;
            view_ = other.owned_ ? std::string_view(own_) : other.view_;
            owned_ = other.owned_;
        }
        return *this;
    }

    std::string_view View() const { return view_; }

private:
    std::string own_;
    std::string_view view_;
    bool owned_ = false;
};
