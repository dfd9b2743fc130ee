#include "app/CallTexts.h"

#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "net/UdpClient.h"
#include "sip/CustomSipClient.h"

namespace app {
namespace {

// The numbers the engine stores are the numbers the messages are keyed on.
static_assert(kSipErrorDomainNotFound == net::kErrorNoSocketOrAddress);
static_assert(kSipErrorWrite == sip::kErrorNothingSent);
static_assert(kSipErrorInvalidResponse == sip::kErrorInvalidResponse);
static_assert(kSipErrorAccessDenied == sip::kErrorBadChallenge);
static_assert(kSipErrorOutOfContext == sip::kErrorSocketClosed);

// Accented letters are written as their UTF-8 bytes, so that the expectations do not depend on
// how this file's own text is read.
struct ErrorCase {
  int Code;
  const char* Expected;
};

TEST(SipErrorTextTest, EachCodeHasItsMessage) {
  const ErrorCase cases[] = {
      {1, "Domain introuvable : sip.brovandes.fr"},
      {2, "Probl\xC3\xA8me d'ouverture de socket"},
      {3,
       "Erreur d'\xC3\xA9"
       "criture"},
      {4, "Erreur de lecture"},
      {5, "R\xC3\xA9ponse invalide\rSIP/2.0 999 Odd\r\n\r\n"},
      {6, "Acc\xC3\xA8s refus\xC3\xA9"},
      {7, "Op\xC3\xA9ration hors contexte"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.Code);
    EXPECT_EQ(SipErrorText(c.Code, "sip.brovandes.fr", "SIP/2.0 999 Odd\r\n\r\n"), c.Expected);
  }
}

TEST(SipErrorTextTest, OtherCodesGiveTheNumber) {
  const ErrorCase cases[] = {
      {0, "SIP Error #0"},         {-1, "SIP Error #-1"},
      {8, "SIP Error #8"},         {111, "SIP Error #111"},
      {10054, "SIP Error #10054"}, {-2147483647 - 1, "SIP Error #-2147483648"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.Code);
    EXPECT_EQ(SipErrorText(c.Code, "d", "m"), c.Expected);
  }
}

TEST(SipErrorTextTest, DomainAndMessageAreTakenWhole) {
  EXPECT_EQ(SipErrorText(1, "", "m"), "Domain introuvable : ");
  EXPECT_EQ(SipErrorText(5, "d", ""), "R\xC3\xA9ponse invalide\r");
  const std::string withZero("a\0b", 3);
  EXPECT_EQ(SipErrorText(5, "d", withZero), "R\xC3\xA9ponse invalide\r" + withZero);
}

struct StateCase {
  sip::TSIPState State;
  std::optional<std::string_view> Status;
  std::optional<int> PanelMode;
  int Height;
};

TEST(DisplayForStateTest, EveryStateHasItsTextPanelAndHeight) {
  const StateCase cases[] = {
      {sip::ssIdle, std::nullopt, 0, 113},
      {sip::ssRegistering, "connexion en cours...", std::nullopt, 113},
      {sip::ssRegistered, std::nullopt, 2, 113},
      {sip::ssInviting, "attente du serveur...", std::nullopt, 113},
      {sip::ssAuthenticating, std::nullopt, std::nullopt, 113},
      {sip::ssTrying, "appel en cours...", std::nullopt, 113},
      {sip::ssRefused, "Identifiant ou mot de passe invalide !", std::nullopt, 113},
      {sip::ssRinging,
       "\xC3\xA7"
       "a sonne...",
       std::nullopt, 113},
      {sip::ssCancelling, "on abandonne...", std::nullopt, 113},
      {sip::ssCallFailed, "l'appel n'a pas abouti", std::nullopt, 113},
      {sip::ssInCall, "en ligne !", std::nullopt, 225},
      {sip::ssHangingUp, "on raccroche...", std::nullopt, 113},
      {sip::ssRemoteHangUp, "votre correspond a raccroch\xC3\xA9", std::nullopt, 113},
  };
  ASSERT_EQ(std::size(cases), 13u);  // values 0 to 12, each once
  for (const StateCase& c : cases) {
    SCOPED_TRACE(sip::StateName(c.State));
    const StateDisplay display = DisplayForState(c.State);
    EXPECT_EQ(display.Status, c.Status);
    EXPECT_EQ(display.PanelMode, c.PanelMode);
    EXPECT_EQ(display.WaitPanelHeight, c.Height);
  }
}

TEST(DisplayForStateTest, OnlyInCallShowsTheKeypad) {
  for (int value = 0; value <= 255; ++value) {
    SCOPED_TRACE(value);
    const auto state = static_cast<sip::TSIPState>(value);
    EXPECT_EQ(DisplayForState(state).WaitPanelHeight,
              state == sip::ssInCall ? kWaitPanelHeightInCall : kWaitPanelHeight);
  }
}

TEST(DisplayForStateTest, UnknownValueChangesNothing) {
  const StateDisplay display = DisplayForState(static_cast<sip::TSIPState>(13));
  EXPECT_EQ(display.Status, std::nullopt);
  EXPECT_EQ(display.PanelMode, std::nullopt);
  EXPECT_EQ(display.WaitPanelHeight, 113);
}

}  // namespace
}  // namespace app
