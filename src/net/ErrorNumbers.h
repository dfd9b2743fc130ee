// The error numbers the protocol objects record when they abandon an operation; the window has
// a message for each. Socket errors are recorded as they are, numbered from 10000.
#pragma once

namespace net {

enum ErrorNumber : int {
  kErrorNoAddress = 1,        // no socket could be made, or a name did not resolve
  kErrorSocket = 2,           // a socket could not be opened (never recorded by this version)
  kErrorNothingSent = 3,      // a send took none of the message
  kErrorRead = 4,             // a receive failed (never recorded by this version)
  kErrorInvalidResponse = 5,  // a received message other than BYE had no valid status line
  kErrorBadChallenge = 6,     // a 401/407 without a challenge, or not for MD5
  kErrorSocketClosed = 7,     // a message was to be sent with the socket closed
};

}  // namespace net
