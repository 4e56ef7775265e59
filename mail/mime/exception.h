// The MIME library's exception classes. The library raises neither: an index outside a
// component array ends the process instead; they exist for applications built on the library.
#pragma once

class DwException {
public:
    DwException() = default;
    explicit DwException(const char* what) : what_(what) {}
    virtual ~DwException() = default;

    // A static text; copies share it.
    const char* What() const { return what_; }

private:
    const char* what_ = "Unspecified error";
};

class DwBoundsException : public DwException {
public:
    DwBoundsException() : DwException("Bounds error") {}
};
