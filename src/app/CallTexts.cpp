#include "app/CallTexts.h"

#include "net/ErrorNumbers.h"

namespace app {

std::string SipErrorText(int code, std::string_view domain, std::string_view lastMessage) {
  switch (code) {
    case net::kErrorNoAddress:
      return "Domain introuvable : " + std::string(domain);
    case net::kErrorSocket:
      return "Problème d'ouverture de socket";
    case net::kErrorNothingSent:
      return "Erreur d'écriture";
    case net::kErrorRead:
      return "Erreur de lecture";
    case net::kErrorInvalidResponse:
      // A carriage return, not a line feed: the message is shown as received, below the text.
      return "Réponse invalide\r" + std::string(lastMessage);
    case net::kErrorBadChallenge:
      return "Accès refusé";
    case net::kErrorSocketClosed:
      return "Opération hors contexte";
    default:
      return "SIP Error #" + std::to_string(code);
  }
}

TStateDisplay DisplayForState(sip::TSIPState state) {
  TStateDisplay display;
  switch (state) {
    case sip::ssIdle:
      display.Panel = TPanel::Connexion;
      break;
    case sip::ssRegistering:
      display.Status = "connexion en cours...";
      break;
    case sip::ssRegistered:
      display.Panel = TPanel::PhoneBook;
      break;
    case sip::ssInviting:
      display.Status = "attente du serveur...";
      break;
    case sip::ssAuthenticating:
      // The challenge is answered without the user: the text of the step before stays.
      break;
    case sip::ssTrying:
      display.Status = "appel en cours...";
      break;
    case sip::ssRefused:
      display.Status = "Identifiant ou mot de passe invalide !";
      break;
    case sip::ssRinging:
      display.Status = "ça sonne...";
      break;
    case sip::ssCancelling:
      display.Status = "on abandonne...";
      break;
    case sip::ssCallFailed:
      display.Status = "l'appel n'a pas abouti";
      break;
    case sip::ssInCall:
      display.Status = "en ligne !";
      display.WaitPanelHeight = kWaitPanelHeightInCall;
      break;
    case sip::ssHangingUp:
      display.Status = "on raccroche...";
      break;
    case sip::ssRemoteHangUp:
      display.Status = "votre correspond a raccroché";
      break;
    default:
      break;
  }
  return display;
}

}  // namespace app
