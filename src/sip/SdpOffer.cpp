#include "sip/SdpOffer.h"

namespace sip {

std::string BuildSdpOffer(std::uint32_t sessionId, std::uint32_t sessionVersion,
                          const std::string& address, std::uint16_t port) {
  return "v=0\r\n"
         "o=Telvarion " +
         std::to_string(sessionId) + " " + std::to_string(sessionVersion) + " IN IP4 " + address +
         "\r\n"
         "s=SIP Call\r\n"
         "c=IN IP4 " +
         address +
         "\r\n"
         "t=0 0\r\n"
         "m=audio " +
         std::to_string(port) +
         " RTP/AVP 8\r\n"
         "b=AS:64\r\n"
         "a=rtpmap:8 PCMA/8000/1\r\n"
         "a=ptime:30\r\n";
}

}  // namespace sip
