// The exception the DBF table engine raises for field values that do not fit their field.
#pragma once

#include <exception>
#include <string>

class CDbfException : public std::exception {
public:
    enum Code : int {
        kUnknownError = 0,
        kStreamError = 1,
        kBadValue = 2,
    };

    CDbfException(int code, const std::string& file_name);

    int code() const noexcept { return m_code; }
    const std::string& file_name() const noexcept { return m_file_name; }
    // The code's text, followed by " (file name)" when the file name is known.
    const char* what() const noexcept override { return m_message.c_str(); }

    // The untranslated text of a code ("Unknown Error" for codes without a text of their own).
    static const char* code_text(int code) noexcept;

private:
    int m_code;
    std::string m_file_name;
    std::string m_message;
};

[[noreturn]] void ThrowDbfException(int code, const std::string& file_name);
