// The service module's side of the telegram link: sending, the read event
// with its poll answer, connection loss and the heartbeat timer.
#include <boost/asio/post.hpp>

#include "lib/vuxcrypto.hpp"
#include "service/mdlserver.hpp"
#include "service/telegramme.hpp"

using Sulvane::VUXCrypto::AES::DecryptText;
using Sulvane::VUXCrypto::AES::EncryptText;
using Sulvane::VUXCrypto::AES::kTelegramPassphrase;

// The frame is built here, on the caller's thread; the link queues it on its loop.
void Toltsrv::sendtelegramm(const std::string& Text) {
  if (!tcpclient_.Active()) return;
  tcpclient_.Write(MakeFrame(EncryptText(Text, kTelegramPassphrase)));
}

void Toltsrv::tcpclientConnect() {
  framereader_.Reset();
  ArmTcptimer();
  if (oltaktiv_pending_.exchange(false)) sendtelegramm(Telegramme::OltAktiv());
}

void Toltsrv::tcpclientRead(std::string_view chunk) {
  ArmTcptimer();
  try {
    const TFrameReader::TChunk cut = framereader_.Feed(chunk);
    if (cut.poll) sendtelegramm(Telegramme::PollAntwort());
    // A frame that cannot be decrypted, or an error the dispatch lets
    // through, ends the handling of this chunk.
    for (const std::string& frame : cut.frames)
      dispatchtelegramm(DecryptText(frame, kTelegramPassphrase));
  } catch (const std::exception& e) {
    ApplicationError(e);
  }
}

void Toltsrv::tcpclientDisconnect() {
  tcptimer_.cancel();
  framereader_.Reset();
  LogFileSys.Add(5, "Getrennt von VUX-Server");
}

void Toltsrv::tcpclientError(int ErrorCode) {
  tcptimer_.cancel();
  framereader_.Reset();
  LogFileSys.Add(3, "TCP Error (Code" + std::to_string(ErrorCode) + ")");
}

// Every chunk from the server restarts the timer; a connection that stays
// silent (a dead peer behind a half-open TCP connection) is reset.
void Toltsrv::ArmTcptimer() {
  tcptimer_.expires_after(tcptimer_interval_);
  tcptimer_.async_wait([this](const boost::system::error_code& ec) {
    if (ec) return;
    tcptimerTimer();
  });
}

void Toltsrv::tcptimerTimer() {
  LogFileSys.Add(5, "Verbindung zu VUX-Server wegen ausbleibender Lebenszeichentelegramm resetet.");
  framereader_.Reset();
  tcpclient_.Deactivate();
  tcpclient_.Activate();
}
