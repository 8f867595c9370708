// Errors that the system raises to its callers. Each carries the exact text the user sees.
// What the engine expects to go wrong (a file that cannot be read or written, a failed check) is
// told as an outcome instead (Outcome.h); see SplitFiles.h for the one rule.
#pragma once
#include <stdexcept>
#include <string>

// Base of every error that may reach an Execute entry and be shown to the user.
class EZandrelError : public std::runtime_error {
public:
    explicit EZandrelError(const std::string& msg) : std::runtime_error(msg) {}
};

// A text that should hold a number does not ("'%s' is not a valid integer value").
class EConvertError : public EZandrelError {
public:
    using EZandrelError::EZandrelError;
};

// A file that cannot be opened or created ("Cannot open file "%s". %s", "Cannot create file "%s". %s").
class EFileError : public EZandrelError {
public:
    using EZandrelError::EZandrelError;
};

// An operation refused before it touched anything (for example a split whose pieces would
// overwrite another file's set).
class EOperationRefused : public EZandrelError {
public:
    using EZandrelError::EZandrelError;
};

// The system did not give a command what it needs to run (a dialog window).
class ESystemError : public EZandrelError {
public:
    using EZandrelError::EZandrelError;
};
