// The plug-in ↔ helper line protocol: every message kind round trips, any
// text stays on one line, malformed lines are refused; the line reader and
// the write queue that carry it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "platform/linux/pipe_lines.h"
#include "platform/linux/webview_protocol.h"

namespace orbel {
namespace {

WebViewPipeMessage roundTrip(const WebViewPipeMessage& m) {
  std::string line;
  appendWebViewPipeLine(line, m);
  EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
  WebViewPipeMessage back;
  EXPECT_TRUE(parseWebViewPipeLine(std::string_view(line).substr(0, line.size() - 1), back))
      << line;
  EXPECT_EQ(back.kind, m.kind);
  return back;
}

TEST(WebViewPipe, EveryKindRoundTrips) {
  // Texts with line breaks, control bytes, line separators, quotes and NUL.
  const std::string awkward =
      std::string("a\nb\r\x01\"\\ \xE2\x80\xA8 \xE2\x80\xA9 ") + std::string(1, '\0') + "z";
  WebViewPipeMessage open;
  open.kind = WebViewPipeKind::Open;
  open.window = 0x3e00007;
  open.width = 720;
  open.height = 560;
  open.url = "orbel-ui://bundle-7d59010c98b74e0e/index.html";
  open.scheme = "orbel-ui";
  open.script = awkward;
  open.handler = "orbel";
  WebViewPipeMessage back = roundTrip(open);
  EXPECT_EQ(back.window, open.window);
  EXPECT_EQ(back.width, 720);
  EXPECT_EQ(back.height, 560);
  EXPECT_EQ(back.url, open.url);
  EXPECT_EQ(back.scheme, "orbel-ui");
  EXPECT_EQ(back.script, awkward);
  EXPECT_EQ(back.handler, "orbel");

  WebViewPipeMessage answer;
  answer.kind = WebViewPipeKind::Answer;
  answer.id = 9007199254740991ull;
  answer.text = "text/javascript";
  for (int i = 0; i < 256; ++i) answer.data.push_back(static_cast<uint8_t>(i));
  back = roundTrip(answer);
  EXPECT_EQ(back.id, answer.id);
  EXPECT_EQ(back.text, answer.text);
  EXPECT_EQ(back.data, answer.data);

  for (WebViewPipeKind kind : {WebViewPipeKind::Eval, WebViewPipeKind::Message,
                               WebViewPipeKind::Request, WebViewPipeKind::Failed}) {
    WebViewPipeMessage m;
    m.kind = kind;
    m.id = 7;
    m.script = awkward;
    m.text = awkward;
    back = roundTrip(m);
    if (kind == WebViewPipeKind::Eval)
      EXPECT_EQ(back.script, awkward);
    else
      EXPECT_EQ(back.text, awkward);
    if (kind == WebViewPipeKind::Request) EXPECT_EQ(back.id, 7u);
  }
  WebViewPipeMessage fail;
  fail.kind = WebViewPipeKind::Fail;
  fail.id = 3;
  fail.code = -1100;
  back = roundTrip(fail);
  EXPECT_EQ(back.code, -1100);
  EXPECT_EQ(back.id, 3u);
  WebViewPipeMessage resize;
  resize.kind = WebViewPipeKind::Resize;
  resize.width = 1400;
  resize.height = 1000;
  back = roundTrip(resize);
  EXPECT_EQ(back.width, 1400);
  EXPECT_EQ(back.height, 1000);
  WebViewPipeMessage frame;
  frame.kind = WebViewPipeKind::Frame;
  frame.id = 12;
  EXPECT_EQ(roundTrip(frame).id, 12u);
  WebViewPipeMessage ready;
  ready.kind = WebViewPipeKind::Ready;
  roundTrip(ready);
}

TEST(WebViewPipe, MalformedLinesAreRefused) {
  const char* lines[] = {
      "",
      "[]",
      "\"ready\"",
      "{}",
      R"({"type":"nonsense"})",
      R"({"type":7})",
      R"({"type":"ready"} x)",
      R"({"type":"ready")",
      R"({"type":"eval"})",
      R"({"type":"eval","script":1})",
      R"({"type":"frame","id":-1})",
      R"({"type":"frame","id":1.5})",
      R"({"type":"frame","id":9007199254740993})",
      R"({"type":"frame","id":"1"})",
      R"({"type":"resize","width":0,"height":10})",
      R"({"type":"resize","width":10,"height":16385})",
      R"({"type":"resize","width":10})",
      R"({"type":"fail","id":1,"code":2147483648})",
      R"({"type":"answer","id":1,"mime":"text/css","data":"not base64!"})",
      R"({"type":"answer","id":1,"mime":"text/css"})",
      R"({"type":"open","window":1,"width":10,"height":10,"url":"u","scheme":"s","script":"x"})",
      R"({"type":"request","id":1})",
      R"({"type":"message","text":"a)",
  };
  for (const char* line : lines) {
    WebViewPipeMessage m;
    EXPECT_FALSE(parseWebViewPipeLine(line, m)) << line;
  }
  // Unknown members are skipped.
  WebViewPipeMessage m;
  EXPECT_TRUE(
      parseWebViewPipeLine(R"({"extra":[1,{"a":2}],"type":"frame","id":4,"more":null})", m));
  EXPECT_EQ(m.id, 4u);
}

TEST(WebViewPipe, LineReaderSplitsChunksAndDropsOnlyOverlongLines) {
  PipeLineReader reader(8);
  std::string line;
  reader.append("ab", 2);
  EXPECT_FALSE(reader.next(line));
  reader.append("c\nde\n\nf", 7);
  ASSERT_TRUE(reader.next(line));
  EXPECT_EQ(line, "abc");
  ASSERT_TRUE(reader.next(line));
  EXPECT_EQ(line, "de");
  ASSERT_TRUE(reader.next(line));
  EXPECT_EQ(line, "");
  EXPECT_FALSE(reader.next(line));
  // An overlong line, whole or in pieces, goes; its neighbours stay.
  reader.append("g\n123456789\nok\n", 15);
  ASSERT_TRUE(reader.next(line));
  EXPECT_EQ(line, "fg");
  ASSERT_TRUE(reader.next(line));
  EXPECT_EQ(line, "ok");
  for (int i = 0; i < 5; ++i) {
    reader.append("xxxxx", 5);
    EXPECT_FALSE(reader.next(line));
  }
  EXPECT_LE(reader.bufferedBytes(), 8u);
  reader.append("tail\nnext\n", 10);
  ASSERT_TRUE(reader.next(line));
  EXPECT_EQ(line, "next");
  EXPECT_EQ(reader.droppedLines(), 2u);
}

TEST(WebViewPipe, WriteQueueNeverBlocksAndReportsAGoneReader) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
  PipeWriteQueue queue(1 << 24);
  const std::string big(1 << 20, 'x');  // more than the pipe holds
  ASSERT_TRUE(queue.push(big));
  EXPECT_EQ(queue.flush(fds[1]), PipeWriteQueue::Flush::Pending);
  EXPECT_GT(queue.size(), 0u);
  EXPECT_LT(queue.size(), big.size());
  // Drain the pipe: the rest goes.
  std::string got;
  char chunk[65536];
  while (queue.flush(fds[1]) != PipeWriteQueue::Flush::Done) {
    const ssize_t n = ::read(fds[0], chunk, sizeof chunk);
    if (n > 0) got.append(chunk, static_cast<size_t>(n));
  }
  for (ssize_t n; (n = ::read(fds[0], chunk, sizeof chunk)) > 0;)
    got.append(chunk, static_cast<size_t>(n));
  EXPECT_EQ(got, big);
  // The limit holds.
  EXPECT_FALSE(queue.push(std::string((1 << 24) + 1, 'y')));
  // A closed reader is reported, and no SIGPIPE ends this process.
  ::close(fds[0]);
  ASSERT_TRUE(queue.push("line\n"));
  EXPECT_EQ(queue.flush(fds[1]), PipeWriteQueue::Flush::Broken);
  ::close(fds[1]);
}

}  // namespace
}  // namespace orbel
