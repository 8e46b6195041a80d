#pragma once

// Error types raised by the support layer. Only the dispatcher catches them
// and turns them into status codes; nothing crosses into the host.

#include <exception>
#include <string>

#include "ofx/ofx_core.h"

namespace OFX {
namespace Exception {

// A host call failed with a status that has no more specific error type.
class Suite : public std::exception {
public:
    explicit Suite(OfxStatus status) : status_(status) {}
    OfxStatus status() const { return status_; }
    const char *what() const noexcept override;

private:
    OfxStatus status_;
};

// The error types that carry a message text (an owned copy). Each is its own
// class derived directly from std::exception; the tag only tells them apart.
template <class Tag>
class MessageError : public std::exception {
public:
    explicit MessageError(const char *message) : message_(message ? message : "") {}
    const char *what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// The host lacks a mandatory suite; the message names it.
using HostInadequate = MessageError<struct HostInadequateTag>;
// The host does not know a property; the message names it.
using PropertyUnknownToHost = MessageError<struct PropertyUnknownTag>;
// The host refused a property value; the message names the property.
using PropertyValueIllegalToHost = MessageError<struct PropertyValueIllegalTag>;
// A parameter was asked for as a type it does not have.
using TypeRequest = MessageError<struct TypeRequestTag>;

}  // namespace Exception
}  // namespace OFX
