// The README's nginx snippet, taken from it as it stands, in a real nginx over the output of a run with
// --also avif: one address gives the AVIF to a browser that takes it and the JPEG to one that does not,
// each with its own Content-Type and both with Vary: Accept, and the JPEG where no AVIF stands beside it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "cli_fixture.h"
#include "cli_process.h"

namespace fs = std::filesystem;
using namespace test_images;

extern char** environ;

namespace {

// The two nginx blocks of the README after "For **nginx**": the http block's, then the server block's.
std::vector<std::string> nginxSnippet() {
  std::ifstream file(TARVOLIN_README);
  const std::string readme((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<std::string> blocks;
  for (std::size_t at = readme.find("For **nginx**"); blocks.size() < 2 && at != std::string::npos;) {
    const std::size_t start = readme.find("```nginx\n", at);
    const std::size_t end = readme.find("```", start + 9);
    if (start == std::string::npos || end == std::string::npos)
      break;
    blocks.push_back(readme.substr(start + 9, end - start - 9));
    at = end + 3;
  }
  if (blocks.size() != 2)
    throw std::runtime_error("no two nginx blocks after For **nginx** in the README");
  return blocks;
}

// Where Debian's nginx packages put it.
const fs::path nginxProgram = "/usr/sbin/nginx";

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

struct Response {
  std::string head;  // the status line and the header lines
  std::string body;
};

// One HTTP/1.0 GET; the server closes the connection after the answer.
Response get(int port, const std::string& target, const std::string& accept) {
  const int connection = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = loopback(port);
  if (connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(connection);
    return {};
  }
  const std::string request =
      "GET " + target + " HTTP/1.0\r\nHost: localhost\r\nAccept: " + accept + "\r\n\r\n";
  if (write(connection, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
    throw std::runtime_error("cannot send the request");
  std::string answer;
  char chunk[65536];
  for (ssize_t count; (count = read(connection, chunk, sizeof chunk)) > 0;)
    answer.append(chunk, static_cast<std::size_t>(count));
  close(connection);
  const std::size_t split = answer.find("\r\n\r\n");
  if (split == std::string::npos)
    return {answer, {}};
  return {answer.substr(0, split + 2), answer.substr(split + 4)};
}

}  // namespace

class ServeTest : public CliTest {
 protected:
  void TearDown() override {
    if (nginx_ > 0) {
      kill(nginx_, SIGTERM);
      waitpid(nginx_, nullptr, 0);
    }
    CliTest::TearDown();
  }

  // nginx serving `folder` on a port of its own. The test listens first and hands nginx the socket, as
  // nginx hands its sockets to a new binary: no port can be taken in between, and no wait for nginx is
  // needed, since the connections queue until it accepts them.
  int serve(const fs::path& program, const fs::path& folder) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener, 16) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("cannot listen on a local port");
    const int port = ntohs(address.sin_port);
    const std::vector<std::string> snippet = nginxSnippet();
    const fs::path prefix = root_ / "nginx";
    fs::create_directories(prefix);
    // Everything nginx writes stays in its prefix; as root, its workers stay root to read the test's folder.
    std::ofstream(prefix / "nginx.conf")
        << (geteuid() == 0 ? "user root;\n" : "") << R"(daemon off;
pid nginx.pid;
error_log error.log;
events {}
http {
include /etc/nginx/mime.types;
access_log off;
client_body_temp_path body;
proxy_temp_path proxy;
fastcgi_temp_path fastcgi;
uwsgi_temp_path uwsgi;
scgi_temp_path scgi;
)" << snippet[0]
        << "server {\nlisten 127.0.0.1:" << port << ";\nroot \"" << folder.string() << "\";\n"
        << snippet[1] << "}\n}\n";
    std::string words[] = {program, "-p", prefix.string() + "/", "-c", "nginx.conf", "-e", "error.log"};
    std::vector<char*> argv;
    for (std::string& word : words)
      argv.push_back(word.data());
    argv.push_back(nullptr);
    std::string inherited = "NGINX=" + std::to_string(listener) + ";";
    std::vector<char*> environment{inherited.data()};
    for (char** variable = environ; *variable != nullptr; ++variable)
      environment.push_back(*variable);
    environment.push_back(nullptr);
    const int error =
        posix_spawn(&nginx_, program.c_str(), nullptr, nullptr, argv.data(), environment.data());
    close(listener);
    if (error != 0)
      throw std::runtime_error("cannot start nginx");
    return port;
  }

  pid_t nginx_ = -1;
};

TEST_F(ServeTest, NginxHandsTheAvifToBrowsersThatTakeItAndTheJpegToOthers) {
  if (!fs::exists(nginxProgram))
    GTEST_SKIP() << "nginx is not installed (Debian package nginx-light, which tools/dev installs)";
  const fs::path source = root_ / "source";
  const fs::path output = root_ / "output";
  fs::create_directories(source);
  // A flat picture, whose AVIF comes out smaller, padded to be re-encoded; its name must reach the file
  // system decoded, as the request carries it encoded.
  writeSmallJpeg(source / "a photo?.jpg");
  padTo(source / "a photo?.jpg", 600000);
  ASSERT_EQ(CliProcess::run({"--also", "avif", source.string(), output.string()}).exitStatus, 0);
  ASSERT_TRUE(fs::exists(output / "a photo?.jpg.avif")) << "the run kept no AVIF to serve";
  // A JPEG on the server with no AVIF beside it.
  fs::copy_file(output / "a photo?.jpg", output / "alone.jpg");

  const int port = serve(nginxProgram, output);
  struct Case {
    std::string target, accept, file, type;
  };
  for (const Case& request : {Case{"/a%20photo%3F.jpg", "image/avif,*/*", "a photo?.jpg.avif", "image/avif"},
                              Case{"/a%20photo%3F.jpg", "image/jpeg", "a photo?.jpg", "image/jpeg"},
                              Case{"/alone.jpg", "image/avif,*/*", "alone.jpg", "image/jpeg"}}) {
    const Response response = get(port, request.target, request.accept);
    EXPECT_EQ(response.head.substr(0, response.head.find("\r\n")), "HTTP/1.1 200 OK")
        << response.head << readBytes(root_ / "nginx" / "error.log");
    EXPECT_NE(response.head.find("\r\nContent-Type: " + request.type + "\r\n"), std::string::npos)
        << response.head;
    EXPECT_NE(response.head.find("\r\nVary: Accept\r\n"), std::string::npos) << response.head;
    EXPECT_TRUE(response.body == readBytes(output / request.file)) << request.target << " " << request.accept;
  }
}
