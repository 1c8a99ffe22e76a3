#include "web/http_server.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <list>
#include <stdexcept>
#include <thread>

#include "web/http_session.h"

namespace asio = boost::asio;
using asio::ip::tcp;

class HttpServer::Impl {
 public:
  Impl(const SnapshotBoard& board, Limits limits) : mBoard(board), mLimits(limits) {}

  std::uint16_t Listen(const std::string& address, std::uint16_t port) {
    boost::system::error_code error;
    const tcp::endpoint endpoint(asio::ip::make_address_v4(address, error), port);
    // No SO_REUSEADDR: on Windows it would let the page take a port that
    // another program listens on.
    if (!error) mAcceptor.open(endpoint.protocol(), error);
    if (!error) mAcceptor.bind(endpoint, error);
    if (!error) mAcceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error) {
      throw std::runtime_error("The status page cannot listen on " + address + ":" + std::to_string(port) + ": " +
                               error.message());
    }
    Accept();
    mThread = std::thread([this] { mIo.run(); });
    return mAcceptor.local_endpoint().port();
  }

  void Stop() {
    mIo.stop();
    if (mThread.joinable()) mThread.join();
  }

 private:
  void Accept() {
    mAcceptor.async_accept([this](boost::system::error_code error, tcp::socket socket) {
      if (error) {
        if (error != asio::error::operation_aborted) Accept();
        return;
      }
      MakeRoom();
      auto session = std::make_shared<HttpSession>(std::move(socket), mBoard, mLimits);
      mSessions.push_back(session);
      session->Start();
      Accept();
    });
  }

  // At the cap, the connection that waits for a request goes first (the
  // one that has waited longest), else the oldest.
  void MakeRoom() {
    mSessions.remove_if([](const std::weak_ptr<HttpSession>& s) { return s.expired(); });
    if (mSessions.size() < mLimits.MaxConnections) return;
    auto victim = mSessions.begin();
    for (auto it = mSessions.begin(); it != mSessions.end(); ++it) {
      if (const auto s = it->lock(); s && s->Waiting()) {
        victim = it;
        break;
      }
    }
    if (const auto s = victim->lock()) s->Close();
    mSessions.erase(victim);
  }

  const SnapshotBoard& mBoard;
  const Limits mLimits;
  // The sessions live in the handlers the io_context holds; destroying it
  // ends them.
  asio::io_context mIo{1};
  tcp::acceptor mAcceptor{mIo};
  std::list<std::weak_ptr<HttpSession>> mSessions;
  std::thread mThread;
};

HttpServer::HttpServer(const SnapshotBoard& board, const std::string& address, std::uint16_t port, Limits limits)
    : mImpl(std::make_unique<Impl>(board, limits)) {
  mPort = mImpl->Listen(address, port);
}

HttpServer::~HttpServer() {
  mImpl->Stop();
}
