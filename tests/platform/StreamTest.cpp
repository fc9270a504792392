// The stream manager, disk streams, the system error rule and the Windows path of a URI.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <initializer_list>
#include <limits>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "chunkfile/FileStream.h"
#include "compat/win32/Error.h"
#include "platform/StreamError.h"
#include "platform/StreamManager.h"
#include "platform/win32/DiskStream.h"
#include "platform/win32/SystemError.h"
#include "platform/win32/SystemServices.h"
#include "tests/platform/PlatformTestSupport.h"
#include "tests/support/Registry.h"

namespace {

using namespace lumo;
using lumo::win32::CDiskIOStream;
using test::TextOf;
using test::Uri;
using testing_support::FileExists;

// Every open of a factory, try form and throwing form, by kind.
struct Kind {
  const char* name;
  std::function<P<IStreamBase>(IStreamFactory&, const P<IURI>&)> tryOpen, open;
};

#define KIND(K, ...)                                                                                    \
  Kind {                                                                                                \
    #K, [](IStreamFactory& f, const P<IURI>& u) -> P<IStreamBase> { return f.TryOpen##K(__VA_ARGS__); }, \
        [](IStreamFactory& f, const P<IURI>& u) -> P<IStreamBase> { return f.Open##K(__VA_ARGS__); }     \
  }
const Kind kKinds[] = {
    KIND(InStream, u, kShareRead),
    KIND(ResetableInStream, u, kShareRead),
    KIND(SeekableInStream, u, kShareRead),
    KIND(OutStream, u, kShareRead, kOpenAlways, false),
    KIND(ResetableOutStream, u, kShareRead, kOpenAlways, false),
    KIND(SeekableOutStream, u, kShareRead, kOpenAlways, false),
    KIND(IOStream, u, kShareRead, kOpenAlways, false),
    KIND(ResetableIOStream, u, kShareRead, kOpenAlways, false),
    KIND(SeekableIOStream, u, kShareRead, kOpenAlways, false),
};
#undef KIND

class Streams : public test::FileTest {
 protected:
  P<CDiskIOStream> OpenIO(const std::string& name, ShareMode share = kShareExclusive,
                          CreationMode creation = kOpenAlways, bool deleteOnClose = false) const {
    return make<CDiskIOStream>(FileUri(name), share, creation, CDiskIOStream::kReadWrite, deleteOnClose);
  }
  P<CDiskIOStream> WithBytes(const std::string& name, const std::string& bytes) const {
    testing_support::WriteFile(Path(name), bytes);
    return OpenIO(name);
  }
};

TEST_F(Streams, EveryOpenServesFileUrisAndUrisWithoutSchemeOnly) {
  testing_support::WriteFile(Path("in.bin"), "abc");
  const P<IStreamManager>& manager = GetStreamManager();
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    // Another scheme: empty, or not found, without a look at the file system.
    const P<IURI> foreign = Uri("http://host" + Path("in.bin"));
    EXPECT_FALSE(kind.tryOpen(*manager, foreign));
    EXPECT_EQ(TextOf<CFileNotFoundError>([&] { kind.open(*manager, foreign); }),
              "The file 'http://host" + Path("in.bin") + "' was not found.");
    for (const P<IURI>& uri : {FileUri("in.bin"), Uri("/Z:" + Path("in.bin")), Uri("FILE:///Z:" + Path("in.bin"))}) {
      const P<IStreamBase> stream = kind.open(*manager, uri);
      EXPECT_EQ(stream->GetSize(), 3u);
      EXPECT_TRUE(stream->GetURI()->equals(*uri));
      EXPECT_NE(stream->GetURI(), uri);  // the stream's own copy
      stream->Close();
      EXPECT_TRUE(kind.tryOpen(*manager, uri));
    }
  }
}

// Answers every input stream request with one stream, counting the calls.
class FixedFactory : public win32::CDiskStreamFactory {
 public:
  explicit FixedFactory(P<IIOStream> answer) : answer(std::move(answer)) {}
  P<IInStream> TryOpenInStream(const P<IURI>&, ShareMode) override {
    ++calls;
    return answer;
  }
  P<IIOStream> answer;
  int calls = 0;
};

TEST_F(Streams, ManagerAsksItsFactoriesInRegistrationOrder) {
  const P<IURI> uri = Uri("mem:x");
  const P<CDiskIOStream> a = OpenIO("a"), b = OpenIO("b");
  const P<FixedFactory> none = make<FixedFactory>(nullptr), first = make<FixedFactory>(a),
                        second = make<FixedFactory>(b);
  const P<IStreamFactory> disk = make<win32::CDiskStreamFactory>();
  const P<IStreamManager> manager = make<CStreamManager>();
  EXPECT_FALSE(manager->TryOpenInStream(uri, kShareRead));
  for (const P<IStreamFactory>& factory : std::initializer_list<P<IStreamFactory>>{disk, none, first, second})
    manager->AddFactory(factory);
  EXPECT_EQ(manager->OpenInStream(uri, kShareRead), a);
  EXPECT_EQ(none->calls + first->calls + second->calls, 2);  // the empty answer went on, the first ended the walk
  testing_support::WriteFile(Path("c"), "");
  EXPECT_TRUE(manager->TryOpenInStream(FileUri("c"), kShareReadWrite));  // the disk factory's, first
  manager->RemoveFactory(make<FixedFactory>(b));  // never added: nothing changes
  manager->RemoveFactory(first);
  EXPECT_EQ(manager->OpenInStream(uri, kShareRead), b);
  manager->AddFactory(second);  // twice; removing takes the first only
  manager->RemoveFactory(second);
  EXPECT_EQ(manager->OpenInStream(uri, kShareRead), b);
  manager->RemoveFactory(second);
  manager->RemoveFactory(disk);
  EXPECT_FALSE(manager->TryOpenInStream(FileUri("c"), kShareReadWrite));
  EXPECT_THROW(manager->OpenSeekableIOStream(uri, kShareReadWrite, kOpenAlways, false), CFileNotFoundError);
}

// Serves "pipe:" URIs by opening a named pipe for reading, which waits until
// a writer comes: the slow open of a pipe or a network file system.
class PipeFactory : public CStreamFactory {
 public:
  explicit PipeFactory(std::string path) : path(std::move(path)) {}
  std::atomic<bool> entered = false;

 protected:
  P<IStreamBase> TryOpen(const P<IURI>& uri, const StreamRequest&) override {
    if (!uri->hasScheme() || !uri->getScheme().equalsNoCase("pipe")) return nullptr;
    entered = true;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) close(fd);
    return nullptr;
  }

 private:
  std::string path;
};

TEST_F(Streams, AnOpenThatWaitsHoldsUpNoOtherThreadsOpens) {
  const std::string pipe = Path("pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const P<PipeFactory> slow = make<PipeFactory>(pipe);
  const P<IStreamManager> manager = make<CStreamManager>(slow);
  manager->AddFactory(make<win32::CDiskStreamFactory>());
  std::thread waiting([&] { EXPECT_FALSE(manager->TryOpenInStream(Uri("pipe:x"), kShareRead)); });
  while (!slow->entered) std::this_thread::yield();
  auto others = std::async(std::launch::async, [&] {
    for (int i = 0; i < 4; ++i) {
      const std::string name = "f" + std::to_string(i);
      manager->OpenOutStream(FileUri(name), kShareRead, kCreateAlways, false)->WriteFully("x", 1);
      EXPECT_EQ(manager->OpenInStream(FileUri(name), kShareRead)->GetSize(), 1u);
    }
  });
  EXPECT_EQ(others.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  // The writer lets the waiting open go, so the test ends either way.
  const int writer = open(pipe.c_str(), O_WRONLY | O_CLOEXEC);
  if (writer >= 0) close(writer);
  waiting.join();
  others.get();
}

TEST_F(Streams, OpeningFailuresRaiseWhateverFormWasUsed) {
  const P<IStreamFactory> factory = make<win32::CDiskStreamFactory>();
  // Missing file or folder: not found for the URI, also from the try form.
  for (const char* name : {"missing", "no-folder/missing"}) {
    EXPECT_EQ(TextOf<CFileNotFoundError>([&] { factory->TryOpenInStream(FileUri(name), kShareRead); }),
              "The file '" + Shown(name) + "' was not found.");
    EXPECT_THROW(factory->OpenIOStream(FileUri(name), kShareRead, kOpenExisting, false), CFileNotFoundError);
  }
  // No URI, another scheme, or no path, and modes outside their ranges.
  for (const P<IURI>& uri : {P<IURI>(), Uri("http://host/x"), Uri("file://host")})
    EXPECT_THROW((void)make<CDiskIOStream>(uri, 0, 1, CDiskIOStream::kRead, false), CFileNotFoundError);
  const struct {
    ShareMode share;
    CreationMode creation;
    const char* refused;
  } kBad[] = {{3, kOpenAlways, "share mode 3"}, {kShareRead, 0, "creation mode 0"},
              {kShareRead, 4, "creation mode 4"}};
  for (const auto& bad : kBad) {
    EXPECT_NE(TextOf<CInvalidArgError>([&] { factory->TryOpenOutStream(FileUri("new"), bad.share, bad.creation, false); })
                  .find(bad.refused),
              std::string::npos);
  }
  EXPECT_FALSE(FileExists(Path("new")));
  // A folder is no file: the system's own error.
  EXPECT_EQ(TextOf<CError>([&] { factory->OpenInStream(Uri("file:///Z:" + folder().path()), kShareRead); }),
            "Access is denied.");
}

TEST_F(Streams, CreationModesAndDeleteOnClose) {
  testing_support::WriteFile(Path("keep"), "12345");
  testing_support::WriteFile(Path("cut"), "12345");
  EXPECT_EQ(OpenIO("keep", kShareRead, kOpenAlways)->GetSize(), 5u);
  EXPECT_EQ(OpenIO("cut", kShareRead, kCreateAlways)->GetSize(), 0u);
  OpenIO("made", kShareRead, kOpenAlways)->WriteFully("x", 1);
  EXPECT_EQ(testing_support::ReadFile(Path("made")), "x");
  // Delete-on-close waits for the last handle.
  const P<CDiskIOStream> doomed = OpenIO("doomed", kShareReadWrite, kCreateAlways, true);
  const P<CDiskIOStream> other = OpenIO("doomed", kShareReadWrite, kOpenExisting);
  doomed->Close();
  EXPECT_TRUE(FileExists(Path("doomed")));
  other->Close();
  EXPECT_FALSE(FileExists(Path("doomed")));
  // Before NT 5.0 a file that is to go on closing cannot be opened again meanwhile.
  testing_support::SetRegString(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", u"Version", u"nt40");
  const P<CDiskIOStream> old = OpenIO("old", kShareReadWrite, kCreateAlways, true);
  EXPECT_THROW(OpenIO("old", kShareReadWrite, kOpenExisting), CError);
}

TEST_F(Streams, ShareModesBetweenTwoStreams) {
  testing_support::WriteFile(Path("f"), "data");
  const std::string violation = "The process cannot access the file because it is being used by another process.";
  const struct {
    ShareMode first;
    CDiskIOStream::Access firstAccess, secondAccess;
    ShareMode second;
    bool opens;
  } kCases[] = {
      {kShareExclusive, CDiskIOStream::kRead, CDiskIOStream::kRead, kShareReadWrite, false},
      {kShareRead, CDiskIOStream::kRead, CDiskIOStream::kRead, kShareRead, true},
      {kShareRead, CDiskIOStream::kRead, CDiskIOStream::kWrite, kShareReadWrite, false},
      {kShareRead, CDiskIOStream::kWrite, CDiskIOStream::kRead, kShareRead, false},  // does not share the writing
      {kShareReadWrite, CDiskIOStream::kWrite, CDiskIOStream::kReadWrite, kShareReadWrite, true},
  };
  for (const auto& c : kCases) {
    const auto open = [&](ShareMode share, CDiskIOStream::Access access) {
      return make<CDiskIOStream>(FileUri("f"), share, kOpenExisting, access, false);
    };
    const P<CDiskIOStream> first = open(c.first, c.firstAccess);
    if (c.opens) {
      EXPECT_FALSE(open(c.second, c.secondAccess)->IsClosed());
    } else {
      EXPECT_EQ(TextOf<CError>([&] { open(c.second, c.secondAccess); }), violation);
    }
  }
}

TEST_F(Streams, ReadingSkippingAndSeeking) {
  const P<CDiskIOStream> s = WithBytes("f", "0123456789ABCDEFGHIJ");
  char buffer[32] = {};
  s->ReadFully(buffer, 10);
  EXPECT_EQ(std::string(buffer, 10), "0123456789");
  EXPECT_EQ(s->Skip(100), 10);  // ten bytes left: to the end
  EXPECT_TRUE(s->IsAtEnd());
  EXPECT_EQ(s->Read(reinterpret_cast<std::uint8_t*>(buffer), 5), 0u);
  EXPECT_EQ(TextOf<CEndOfStreamError>([&] { s->ReadFully(buffer, 1); }), "Unexpected end of data stream.");
  s->SeekFromEnd(-5);
  EXPECT_EQ(s->Read(buffer, 10), 5u);  // short, no error; the bytes stay consumed
  s->SeekFromStart(15);
  EXPECT_THROW(s->ReadFully(buffer, 6), CEndOfStreamError);
  EXPECT_EQ(s->GetPosition(), 20u);
  EXPECT_EQ(s->Skip(-4), -4);
  EXPECT_EQ(s->Skip(3L), 3);
  EXPECT_THROW(s->Skip(1L << 40), CInvalidArgError);
  EXPECT_EQ(s->Skip(2147483647L), 1);
  s->Advance(99);  // no clamping
  EXPECT_EQ(s->GetPosition(), 119u);
  EXPECT_EQ(s->Skip(1), -99);  // past the end, Skip goes back to it
  s->SeekRelative(-2);
  EXPECT_FALSE(s->IsAtEnd());
  EXPECT_EQ(s->GetPosition(), 18u);
  EXPECT_EQ(TextOf<CError>([&] { s->SeekFromStart(-1); }),
            "An attempt was made to move the file pointer before the beginning of the file.");
  EXPECT_EQ(s->GetPosition(), 18u);
  s->SeekFromStart(40);  // past the end is accepted; writing there fills the gap
  s->WriteFully("!", 1);
  EXPECT_EQ(s->Write("?", 1), 1u);
  s->Flush();
  EXPECT_EQ(s->GetSize(), 42u);
}

// A stream's seeks and position, whatever interfaces it offers them through.
struct Seeker {
  const char* kind;
  std::function<void(std::int64_t)> fromStart, fromEnd, relative;
  std::function<std::uint64_t()> position;
};

template <class S>
Seeker SeekerOf(const char* kind, const P<S>& s) {
  return {kind, [s](std::int64_t o) { s->SeekFromStart(o); }, [s](std::int64_t o) { s->SeekFromEnd(o); },
          [s](std::int64_t o) { s->SeekRelative(o); }, [s] { return s->GetPosition(); }};
}

// A chunk-file stream has one seek, to an unsigned position: the others are
// counted out the way its users count them.
Seeker SeekerOf(const char* kind, const chf::TRef<chf::CBaseStream>& s) {
  const auto to = [s](std::uint64_t position) { s->Seek(position); };
  return {kind, [to](std::int64_t o) { to(static_cast<std::uint64_t>(o)); },
          [s, to](std::int64_t o) { to(s->GetSize() + static_cast<std::uint64_t>(o)); },
          [s, to](std::int64_t o) { to(s->Tell() + static_cast<std::uint64_t>(o)); }, [s] { return s->Tell(); }};
}

// Every kind of stream that seeks: a seek it refuses leaves the position where it was.
TEST_F(Streams, RefusedSeeksLeaveThePositionWhereItWas) {
  // The read-write chunk file lets others read only, so it has a file of its own.
  for (const char* name : {"f", "g"}) testing_support::WriteFile(Path(name), "0123456789ABCDEFGHIJ");
  IStreamManager& manager = *GetStreamManager();
  const Seeker kinds[] = {
      SeekerOf("disk input", manager.OpenSeekableInStream(FileUri("f"), kShareReadWrite)),
      SeekerOf("disk output", manager.OpenSeekableOutStream(FileUri("f"), kShareReadWrite, kOpenExisting, false)),
      SeekerOf("disk input and output",
               manager.OpenSeekableIOStream(FileUri("f"), kShareReadWrite, kOpenExisting, false)),
      SeekerOf("chunk file over a disk stream",
               chf::TRef<chf::CBaseStream>::adopt(new chf::CLumoFileStream(FileUri("f"), kShareReadWrite))),
      SeekerOf("chunk file, read and write", chf::OpenReadWriteFileStream(Path("g"))),
  };
  constexpr std::int64_t kFar = std::numeric_limits<std::int64_t>::max();
  const std::pair<const char*, std::function<void(const Seeker&)>> refused[] = {
      {"before the start", [](const Seeker& s) { s.fromStart(-1); }},
      {"before the start, from the end", [](const Seeker& s) { s.fromEnd(-21); }},
      {"before the start, from here", [](const Seeker& s) { s.relative(-8); }},
      {"beyond 63 bits, from the end", [&](const Seeker& s) { s.fromEnd(kFar); }},
      {"beyond 63 bits, from here", [&](const Seeker& s) { s.relative(kFar); }},
  };
  for (const Seeker& stream : kinds) {
    for (const auto& [what, seek] : refused) {
      SCOPED_TRACE(std::string(stream.kind) + ": " + what);
      stream.fromStart(7);
      EXPECT_ANY_THROW(seek(stream));
      EXPECT_EQ(stream.position(), 7u);
    }
  }
}

// A marker of some other kind of stream.
class ForeignMarker : public CObject, public IStreamMarker {
 public:
  void Touch() override {}
};

TEST_F(Streams, MarkersWorkAcrossDiskStreamsOnly) {
  const P<CDiskIOStream> a = WithBytes("a", "0123456789"), b = WithBytes("b", "abcdefghij");
  a->SeekFromStart(7);
  const P<IStreamMarker> at7 = a->CreateMarker();
  a->SeekFromStart(1);
  b->Reset(at7);
  a->Reset(at7);
  char c[2];
  b->ReadFully(c, 1);
  a->ReadFully(c + 1, 1);
  EXPECT_EQ(std::string(c, 2), "h7");
  EXPECT_THROW(a->Reset(make<ForeignMarker>()), CCastError);
  EXPECT_THROW(a->Reset(nullptr), CInvalidArgError);
}

TEST_F(Streams, ClosedStreamsRaiseFromEveryOperationButThree) {
  testing_support::WriteFile(Path("f"), "abc");
  const P<ISeekableInStream> in = GetStreamManager()->OpenSeekableInStream(FileUri("f"), kShareReadWrite);
  const P<ISeekableOutStream> out =
      GetStreamManager()->OpenSeekableOutStream(FileUri("g"), kShareReadWrite, kOpenAlways, false);
  const P<IStreamMarker> marker = in->CreateMarker();
  in->Close();
  out->Close();
  out->Close();  // again: nothing
  EXPECT_TRUE(in->IsClosed() && out->IsClosed());
  EXPECT_TRUE(in->GetURI()->equals(*FileUri("f")));
  char b[1];
  const std::function<void()> kOperations[] = {
      [&] { in->GetPosition(); },    [&] { in->GetSize(); },        [&] { in->ReadFully(b, 1); },
      [&] { in->Read(b, 1); },       [&] { in->Advance(1); },        [&] { in->Skip(1); },
      [&] { in->IsAtEnd(); },        [&] { in->CreateMarker(); },    [&] { in->Reset(marker); },
      [&] { in->SeekFromEnd(0); },   [&] { out->WriteFully(b, 1); }, [&] { out->Write(b, 1); },
      [&] { out->Flush(); },         [&] { out->SeekFromStart(0); }, [&] { out->SeekRelative(0); },
  };
  for (const auto& operation : kOperations)
    EXPECT_EQ(TextOf<CStreamClosedError>(operation), "The stream has been closed.");
  EXPECT_EQ(ToUTF8(CEndOfStreamError(FileUri("f").get()).getDescription()),
            "Unexpected end of data stream (uri: 'file:///Z:" + Path("f") + "').");
}

TEST_F(Streams, ConcurrentWritesToOneStreamStayWhole) {
  constexpr int kThreads = 4, kWrites = 200, kRecord = 4096;
  const P<CDiskIOStream> s = OpenIO("f");
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&s, t] {
      const std::string record(kRecord, static_cast<char>('a' + t));
      for (int i = 0; i < kWrites; ++i) s->WriteFully(record.data(), kRecord);
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::string all = testing_support::ReadFile(Path("f"));
  ASSERT_EQ(all.size(), std::size_t{kThreads * kWrites * kRecord});
  for (std::size_t at = 0; at < all.size(); at += kRecord)
    ASSERT_EQ(all.compare(at, kRecord, std::string(kRecord, all[at])), 0) << "at " << at;
}

TEST(SystemErrorRule, MissingFilesAndDescribedCodes) {
  const P<IURI> uri = Uri("file:///C:/x.txt");
  EXPECT_EQ(TextOf<CFileNotFoundError>([&] { win32::ThrowSystemError(ERROR_PATH_NOT_FOUND, nullptr, uri.get()); }),
            "The file 'C:\\x.txt' was not found.");
  EXPECT_EQ(TextOf<CFileNotFoundError>([] { win32::ThrowSystemError(ERROR_FILE_NOT_FOUND, "ignored"); }),
            "The file was not found.");
  EXPECT_EQ(TextOf<CError>([] { win32::ThrowSystemError(ERROR_ACCESS_DENIED); }), "Access is denied.");
  EXPECT_EQ(TextOf<CError>([] { win32::ThrowSystemError(ERROR_ACCESS_DENIED, ""); }), "Access is denied.");
  EXPECT_EQ(TextOf<CError>([] { win32::ThrowSystemError(ERROR_DISK_FULL, "Cannot save (%ERRORDESC%)"); }),
            "Cannot save (There is not enough space on the disk.)");
  EXPECT_EQ(TextOf<CError>([] { win32::ThrowSystemError(0xE0001234, "%ERRORDESC%|"); }), "|");  // no text
}

class WindowsPaths : public testing_support::IsolatedTest {};

TEST_F(WindowsPaths, OfFileUrisAndOthers) {
  const std::string long239(236, 'a');  // "C:\" and 236 characters
  const std::tuple<std::string, bool, std::string> kCases[] = {
      {"file:///C:/a/b.txt", false, "C:\\a\\b.txt"},
      {"file://server/share/x", false, "\\\\server\\share\\x"},
      {"dir/a%20b.txt", false, "dir\\a b.txt"},
      {"http://host/a", true, "http://host/a"},
      {"http://host/a", false, ""},
      {"file:///C:/" + long239, false, "C:\\" + long239},
      {"file:///C:/" + long239 + "b", false, "\\\\?\\C:\\" + long239 + "b"},
      {"file://server/" + long239, false, "\\\\?\\UNC\\server\\" + long239},
  };
  for (const auto& [uri, keepOthers, path] : kCases)
    EXPECT_EQ(ToUTF8(win32::ToWindowsPath(Uri(uri).get(), keepOthers)), path) << uri;
  EXPECT_EQ(ToUTF8(win32::ToWindowsPath(nullptr, true)), "");
  EXPECT_EQ(TextOf<CError>([&] { win32::ToWindowsPath(Uri("rel/" + long239).get(), false); }),
            "Error: Windows path is longer than MAX_PATH and the limit cannot be circumvented (path='rel\\" +
                long239 + "').");
}

}  // namespace

TEST_F(WindowsPaths, FollowTheSystemFamilyAndVersion) {
  // The emulated system, the NT family's least version, the other family's, and whether it passes.
  const std::tuple<const char16_t*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, bool> kCases[] = {
      {u"win98", 5, 0, -1, -1, false}, {u"win98", 0, 0, 4, 10, true}, {u"win98", 0, 0, 4, 11, false},
      {u"win98", 0, 0, 3, 99, true},   {u"win2k", 5, 0, -1, -1, true}, {u"win2k", 5, 1, 4, 0, false},
      {u"win2k", 4, 99, 9, 9, true},   {u"nt40", 5, 0, -1, -1, false}, {u"win10", -1, 0, 4, 0, false},
  };
  for (const auto& [system, ntMajor, ntMinor, otherMajor, otherMinor, atLeast] : kCases) {
    testing_support::SetRegString(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", u"Version", system);
    EXPECT_EQ(win32::IsSystemVersionAtLeast(ntMajor, ntMinor, otherMajor, otherMinor), atLeast)
        << ToUTF8(system) << " " << ntMajor << "." << ntMinor << " " << otherMajor << "." << otherMinor;
  }
  // Outside the NT family long paths have no way round the limit.
  testing_support::SetRegString(HKEY_LOCAL_MACHINE, u"Software\\Win32Compat", u"Version", u"win98");
  EXPECT_THROW(win32::ToWindowsPath(Uri("file:///C:/" + std::string(240, 'a')).get(), false), CError);
}
