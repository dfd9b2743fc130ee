// The hand-off over the Qt event loop, as the receive threads and the audio device use it.
#include "ui/QtHandOff.h"

#include <QTest>
#include <QThread>
#include <atomic>
#include <stop_token>
#include <thread>

#include "platform/SilentAbort.h"

namespace {

class Recorder final : public platform::MessageTarget {
 public:
  void HandleWindowMessage(const platform::WindowMessage& message) override {
    Thread = QThread::currentThread();
    Last = message;
    ++Count;
    if (AbortNext) {
      AbortNext = false;
      throw platform::SilentAbort();
    }
  }
  QThread* Thread = nullptr;
  platform::WindowMessage Last;
  int Count = 0;
  bool AbortNext = false;
};

}  // namespace

class QtHandOffTest : public QObject {
  Q_OBJECT

 private slots:
  void SendFromAThreadWaitsForTheMainThread() {
    ui::QtHandOff handOff;
    Recorder target;
    std::atomic<bool> returned{false};
    std::atomic<bool> delivered{false};
    std::thread sender([&] {
      delivered = handOff.Send(target, {1025, 1, 0}, std::stop_token{});
      returned = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(returned.load(), 5000);
    sender.join();
    QVERIFY(delivered);
    QCOMPARE(target.Count, 1);
    QCOMPARE(target.Thread, QThread::currentThread());
    QCOMPARE(target.Last.Message, 1025u);
  }

  void SendOnTheMainThreadIsDirect() {
    ui::QtHandOff handOff;
    Recorder target;
    QVERIFY(handOff.Send(target, {1026, 7, 8}, std::stop_token{}));
    QCOMPARE(target.Count, 1);
  }

  void AStopWithdrawsAMessageNotYetDelivered() {
    ui::QtHandOff handOff;
    Recorder target;
    std::stop_source stop;
    std::atomic<bool> returned{false};
    bool delivered = true;
    std::thread sender([&] {
      delivered = handOff.Send(target, {1025, 1, 0}, stop.get_token());
      returned = true;
    });
    // The main thread does not run its loop, so the message waits; the stop withdraws it.
    QThread::msleep(20);
    stop.request_stop();
    sender.join();
    QVERIFY(returned);
    QVERIFY(!delivered);
    QTest::qWait(50);
    QCOMPARE(target.Count, 0);
  }

  void PostRunsLaterOnTheMainThreadAndAbortsStayThere() {
    ui::QtHandOff handOff;
    Recorder target;
    target.AbortNext = true;
    std::thread poster([&] {
      handOff.Post(target, {960, 1, 2});
      handOff.Post(target, {960, 3, 4});
    });
    poster.join();
    QCOMPARE(target.Count, 0);
    QTRY_COMPARE_WITH_TIMEOUT(target.Count, 2, 5000);
    QCOMPARE(target.Last.WParam, 3u);
    QCOMPARE(target.Thread, QThread::currentThread());
  }
};

QTEST_GUILESS_MAIN(QtHandOffTest)
#include "QtHandOffTest.moc"
