#pragma once

#include <string>

// The support layer's own failure (an encoding it does not know, a read error).
class QelException {
public:
    explicit QelException(std::string text) : text_(std::move(text)) {}
    const char* getErrorText() const { return text_.c_str(); }

private:
    std::string text_;
};
