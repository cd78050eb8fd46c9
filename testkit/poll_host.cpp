#include "testkit/poll_host.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "testkit/rule_records.h"

PollHost::PollHost(const KPLSocketDeviceProvider& provider, Worker& worker, ImageCheck check,
                   std::chrono::milliseconds poll_interval)
    : provider_(provider),
      check_(std::move(check)),
      poll_interval_(poll_interval),
      services_{this, this, &worker, this} {}

PollHost::~PollHost() { close_all(); }

void PollHost::close_all() {
  for (Slot& s : slots_)
    if (s.fd >= 0) ::close(s.fd);
  slots_.clear();
}

void PollHost::configure(const std::vector<DeviceEntry>& entries) {
  close_all();
  // Every slot is made before any device starts its connection, so that
  // none moves while a device's Init runs.
  slots_.resize(entries.size());
  for (Slot& s : slots_) {
    s.device.reset(provider_.create());
    s.device->services = &services_;
    made.push_back(s.device);
  }
  for (size_t i = 0; i < entries.size(); ++i)
    slots_[i].device->Init({}, entries[i].number, entries[i].config);
}

PollHost::Slot* PollHost::slot_of(const KPLVDevice& dev) {
  for (Slot& s : slots_)
    if (s.device.get() == &dev) return &s;
  return nullptr;
}

int PollHost::StartSocket(KPLSocketDevice& dev, const std::string& ip, unsigned short port) {
  Slot* s = slot_of(dev);
  if (s == nullptr) return -1;
  s->ip = ip;
  s->port = port;
  connect(*s);
  return static_cast<int>(s - slots_.data());
}

void PollHost::connect(Slot& s) {
  s.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(s.port);
  if (s.fd < 0 || ::inet_pton(AF_INET, s.ip.c_str(), &a.sin_addr) != 1) return lose(s);
  int one = 1;
  ::setsockopt(s.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (::connect(s.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS)
    return lose(s);
  s.connecting = true;
}

void PollHost::lose(Slot& s) {
  if (s.fd >= 0) ::close(s.fd);
  s.fd = -1;
  s.connecting = false;
  s.unsent.clear();
  s.device->link_ready = 0;
  s.device->recv_len = 0;
  s.retry_at = Clock::now() + std::chrono::milliseconds(20);
}

int PollHost::CloseSocket(KPLSocketDevice& dev, int) {
  if (Slot* s = slot_of(dev)) lose(*s);
  return 0;
}

int PollHost::Send(KPLSocketDevice& dev, int handle, const unsigned char* data, unsigned int len) {
  Slot* s = slot_of(dev);
  if (s == nullptr || handle != s - slots_.data() || s->fd < 0 || s->connecting) return -1;
  if (s->unsent.empty()) {
    const ssize_t n = ::send(s->fd, data, len, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno != EAGAIN) return -1;
    const size_t sent = n < 0 ? 0 : static_cast<size_t>(n);
    s->unsent.assign(data + sent, data + len);
  } else {
    s->unsent.insert(s->unsent.end(), data, data + len);
  }
  return static_cast<int>(len);
}

void PollHost::flush(Slot& s) {
  const ssize_t n = ::send(s.fd, s.unsent.data(), s.unsent.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n < 0 && errno != EAGAIN) return lose(s);
  if (n > 0) s.unsent.erase(s.unsent.begin(), s.unsent.begin() + n);
}

void PollHost::connected(Slot& s, int handle) {
  int error = 0;
  socklen_t len = sizeof error;
  if (::getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) return lose(s);
  s.connecting = false;
  KPLSocketDevice& dev = *s.device;
  dev.recv_len = 0;
  dev.link_ready = 1;
  dev.OnConnected(handle);
  dev.RefreshStatus();
}

void PollHost::received(Slot& s, int handle) {
  unsigned char buf[KPLSocketDevice::recv_capacity];
  const ssize_t n = ::recv(s.fd, buf, sizeof buf, 0);
  if (n < 0 && errno == EAGAIN) return;
  if (n <= 0) return lose(s);
  s.device->process(handle, buf, static_cast<int>(n));
}

bool PollHost::run_rounds(long rounds, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  auto next_poll = Clock::now() + poll_interval_;
  std::vector<pollfd> fds;
  std::vector<int> of_fd;
  for (;;) {
    bool done = true;
    for (const Slot& s : slots_) done = done && s.rounds >= rounds;
    if (done) return true;
    const auto now = Clock::now();
    if (now >= end) return false;

    fds.clear();
    of_fd.clear();
    for (size_t i = 0; i < slots_.size(); ++i) {
      Slot& s = slots_[i];
      if (s.fd < 0) {
        if (now >= s.retry_at) connect(s);
        if (s.fd < 0) continue;
      }
      const short want = s.connecting || !s.unsent.empty() ? POLLOUT : POLLIN;
      fds.push_back({s.fd, static_cast<short>(want | POLLIN), 0});
      of_fd.push_back(static_cast<int>(i));
    }
    ::poll(fds.data(), fds.size(), 2);

    for (size_t k = 0; k < fds.size(); ++k) {
      const int h = of_fd[k];
      Slot& s = slots_[static_cast<size_t>(h)];
      if (fds[k].revents == 0 || s.fd != fds[k].fd) continue;
      if (s.connecting) {
        connected(s, h);
        continue;
      }
      if (fds[k].revents & (POLLIN | POLLHUP | POLLERR)) received(s, h);
      if (s.fd >= 0 && !s.unsent.empty() && (fds[k].revents & POLLOUT)) flush(s);
    }
    if (Clock::now() >= next_poll) {
      next_poll += poll_interval_;
      for (Slot& s : slots_)
        if (s.fd >= 0 && !s.connecting) s.device->RefreshStatus();
    }
  }
}

int PollHost::CheckThreshold(KPLVDevice& dev, const std::string& name, const std::string& desc,
                             const float& value, int number) {
  dev.rule_batch.push_back(analogue_record(name, desc, value, number));
  return 1;
}

int PollHost::CheckThresholdBool(KPLVDevice& dev, int, const std::string& id,
                                 const std::string& code, const std::string& desc,
                                 const std::string& label, bool flag, unsigned short number) {
  dev.rule_batch.push_back(alarm_record(id, code, desc, label, flag, number));
  return 1;
}

bool PollHost::CheckAOReport(KPLVDevice&, const std::string&, float) { return false; }

bool PollHost::DoBatchCheckThreshold(KPLVDevice&, const std::vector<rule_value>& records) {
  // A round's records are its points in order, numbered from 1.
  bool whole = !records.empty();
  for (size_t i = 0; i < records.size() && whole; ++i) whole = records[i].number == i + 1;
  ++batches;
  if (!whole) ++bad_batches;
  return false;
}

int PollHost::SendSP(KPLVDevice& dev, int, const unsigned char* data, int len, bool) {
  ++published;
  if (!check_(dev.device_number, data, len)) ++bad_images;
  if (Slot* s = slot_of(dev)) ++s->rounds;
  return 1;
}

int PollHost::SaveDeviceHistory(KPLVDevice& dev, const unsigned char* data, int len) {
  ++saved;
  if (!check_(dev.device_number, data, len)) ++bad_images;
  return 1;
}
