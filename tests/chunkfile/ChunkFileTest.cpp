// Chunk files over real files: walks, growth, moves and removal through open streams, read-only files.
#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "chunkfile/ChunkFile.h"
#include "chunkfile/FileStream.h"
#include "foundation/CURI.h"
#include "tests/support/IsolatedTest.h"

namespace {

using chf::TRef;
using testing_support::ReadFile;
using testing_support::WriteFile;

std::string Size64(std::uint64_t value) {
  std::string bytes;
  for (int i = 0; i < 8; ++i) bytes += static_cast<char>(value >> (8 * i));
  return bytes;
}
std::string Chunk(const std::string& id, const std::string& data) { return id + Size64(data.size()) + data; }
std::string File(const std::string& body) { return "URESFILE" + Size64(body.size()) + body; }

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  return bytes;
}

class ChunkFiles : public testing_support::IsolatedTest {
 protected:
  std::string path() const { return folder() / "pack.bin"; }
  TRef<chf::CChunkFile> Open(const std::string& bytes, bool writable) {
    WriteFile(path(), bytes);
    const lumo::P<lumo::IURI> uri = lumo::make<lumo::CURI>(lumo::String(("file:///Z:" + path()).c_str()));
    const TRef<chf::CBaseStream> file = writable ? chf::OpenReadWriteFileStream(path())
                                                 : TRef<chf::CBaseStream>::adopt(new chf::CLumoFileStream(uri, lumo::kShareRead));
    return TRef<chf::CChunkFile>::adopt(chf::OpenChunkFile(file.get()));
  }
  static void Find(chf::CChunkIterator& sequence, const char (&id)[5]) {
    sequence.Rewind();
    while (sequence.Next())
      if (sequence.GetChunkId() == chf::ChunkId(id)) return;
    FAIL() << "no chunk " << id;
  }
  static TRef<chf::CChunkStream> Stream(chf::CChunkIterator& sequence, const char (&id)[5]) {
    Find(sequence, id);
    return TRef<chf::CChunkStream>::adopt(sequence.OpenChunkStream());
  }
  // Lets go of each in turn: a stream writes its size back when released.
  template <class... Refs>
  static void Release(Refs&... refs) { (refs.reset(), ...); }
  static std::string ReadAll(chf::IStream& stream) {
    std::string bytes(stream.GetSize(), '\0');
    stream.Seek(0);
    stream.Read(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    return bytes;
  }
};

TEST_F(ChunkFiles, WalksSequencesInOrderUpToTheLastWholeHeader) {
  const std::string lang = Chunk("lang", "en-GB");
  // A body and what one walk of it finds: identifier, data size and header offset.
  using Found = std::vector<std::tuple<std::string, std::uint64_t, std::uint64_t>>;
  const std::tuple<const char*, std::string, Found> walks[] = {
      {"empty body", "", {}},
      {"11 bytes are no header", std::string(11, 'x'), {}},
      {"two chunks", lang + Chunk("cmnt", "hi"), {{"lang", 5, 0}, {"cmnt", 2, 12 + 5}}},
      {"empty chunk", Chunk("void", "") + Chunk("next", "1"), {{"void", 0, 0}, {"next", 1, 12}}},
      {"size past the end", Chunk("long", "ab").replace(4, 8, Size64(1000)) + lang, {{"long", 1000, 0}}},
      {"size at 64 bits", Chunk("huge", "").replace(4, 8, std::string(8, '\xff')) + lang, {{"huge", ~0ull, 0}}},
  };
  for (const auto& [name, body, found] : walks) {
    SCOPED_TRACE(name);
    TRef<chf::CChunkFile> root = Open(File(body), false);
    EXPECT_STREQ(root->GetType(), "URESFILE");
    for (int pass = 0; pass < 2; ++pass) {
      root->Rewind();
      EXPECT_EQ(root->Tell(), 0u);
      EXPECT_EQ(root->GetChunkId(), 0u);
      for (const auto& [id, size, offset] : found) {
        ASSERT_TRUE(root->Next());
        const std::uint32_t wanted = chf::ChunkId({id[0], id[1], id[2], id[3], '\0'});
        EXPECT_EQ(std::tuple(root->GetChunkId(), root->GetChunkSize(), root->GetChunkOffset(), root->Tell()),
                  std::tuple(wanted, size, offset, offset + chf::kChunkHeaderSize));
      }
      EXPECT_FALSE(root->Next());
      EXPECT_FALSE(root->Next());
      EXPECT_THROW(root->OpenChunkStream(), std::exception);
    }
  }
}

TEST_F(ChunkFiles, ReadsPastAChunksEndReadWhatFollowsAndStopTheCursorAtTheEnd) {
  TRef<chf::CChunkFile> root = Open(File(Chunk("abc ", "abc") + Chunk("xyz ", "xyz")), false);
  TRef<chf::CChunkStream> abc = Stream(*root, "abc ");
  std::string bytes(5, '\0');
  abc->Read(bytes.data(), 5);
  EXPECT_EQ(bytes, "abcxy");
  EXPECT_EQ(abc->Tell(), 3u);
  abc->Seek(15);
  abc->Read(bytes.data(), 3);
  EXPECT_EQ(bytes.substr(0, 3), "xyz");
  EXPECT_EQ(abc->Tell(), 3u);
}

TEST_F(ChunkFiles, ReadOnlyFilesRefuseEveryChangeAndKeepTheirBytes) {
  const std::string original = File(Chunk("data", "12345") + Chunk("tail", "t"));
  const std::vector<std::pair<const char*, std::function<void(chf::CChunkFile&, chf::CChunkStream&)>>> changes = {
      {"write inside", [](chf::CChunkFile&, chf::CChunkStream& s) { s.Write("x", 1); }},
      {"insert", [](chf::CChunkFile&, chf::CChunkStream& s) { s.Insert(3); }},
      {"remove", [](chf::CChunkFile&, chf::CChunkStream& s) { s.Remove(2); }},
      {"delete", [](chf::CChunkFile& root, chf::CChunkStream&) { chf::DeleteChunk(root); }},
  };
  for (const auto& [name, change] : changes) {
    SCOPED_TRACE(name);
    TRef<chf::CChunkFile> root = Open(original, false);
    TRef<chf::CChunkStream> data = Stream(*root, "data");
    EXPECT_THROW(change(*root, *data), std::exception);
    // Changes of no bytes change nothing, so they need no writable file.
    data->Insert(0);
    data->Remove(0);
    Release(data, root);
    EXPECT_EQ(ReadFile(path()), original);
  }
}

// An empty chunk inside another grows: its container and the body grow, the chunks after it move.
TEST_F(ChunkFiles, GrowthOfAnEmptyNestedChunkReachesTheDiskAfterRelease) {
  const auto layout = [](const std::string& empty, const std::string& last) {
    return File(Chunk("outr", Chunk("empt", empty) + Chunk("next", "abc")) + Chunk("last", last));
  };
  TRef<chf::CChunkFile> root = Open(layout("", "LL"), true);
  TRef<chf::CChunkStream> last = Stream(*root, "last");
  Find(*root, "outr");
  TRef<chf::CChunkIterator> outer = TRef<chf::CChunkIterator>::adopt(root->OpenChunkIterator());
  TRef<chf::CChunkStream> empty = Stream(*outer, "empt");
  Find(*outer, "next");
  empty->Write("0123456789", 10);
  // The walk sees the new size before it is written back; each cursor moved with its chunk.
  EXPECT_EQ(outer->GetChunkOffset(), 22u);
  EXPECT_EQ(ReadAll(*TRef<chf::CChunkStream>::adopt(outer->OpenChunkStream())), "abc");
  outer->Rewind();
  ASSERT_TRUE(outer->Next());
  EXPECT_EQ(outer->GetChunkSize(), 10u);
  EXPECT_EQ(ReadAll(*last), "LL");
  last->Seek(0);
  last->Write("MM", 2);
  Release(empty, outer, last, root);
  EXPECT_EQ(ReadFile(path()), layout("0123456789", "MM"));
}

// Space inserted from a chunk's first byte to its end, by it or its holder, grows it; removed, shrinks it.
TEST_F(ChunkFiles, ChangesInsideAChunkResizeItAndMoveTheOpenChunksAfterIt) {
  const std::tuple<bool, std::uint64_t, std::uint64_t, const char*> cases[] = {
      {false, 0, 3, "+++aaaa"}, {false, 2, 1, "aa+aa"}, {false, 4, 2, "aaaa++"},
      {true, 0, 3, "+++aaaa"},  {true, 2, 1, "aa+aa"},  {true, 4, 2, "aaaa++"}};
  for (const auto& [byHolder, at, count, grown] : cases) {
    SCOPED_TRACE(testing::Message() << at << (byHolder ? " by the holder" : ""));
    TRef<chf::CChunkFile> root = Open(File(Chunk("aaaa", "aaaa") + Chunk("bbbb", "bbbb")), true);
    TRef<chf::CChunkStream> a = Stream(*root, "aaaa"), b = Stream(*root, "bbbb");
    chf::IStream& inserter = byHolder ? static_cast<chf::IStream&>(*root) : *a;
    inserter.Seek(byHolder ? chf::kChunkHeaderSize + at : at);
    inserter.Insert(count);
    EXPECT_EQ(a->GetSize(), 4 + count);
    a->Seek(at);
    a->Write("+++", static_cast<std::int32_t>(count));
    EXPECT_EQ(ReadAll(*b), "bbbb");
    b->Seek(1);
    b->Write("B", 1);
    Release(a, b, root);
    EXPECT_EQ(ReadFile(path()), File(Chunk("aaaa", grown) + Chunk("bbbb", "bBbb")));
  }
  TRef<chf::CChunkFile> root = Open(File(Chunk("aaaa", "aaaa") + Chunk("bbbb", "bbbb")), true);
  TRef<chf::CChunkStream> a = Stream(*root, "aaaa");
  a->Seek(4);
  a->Remove(2);
  EXPECT_EQ(a->GetSize(), 2u);
}

TEST_F(ChunkFiles, DeletingAChunkRemovesItsStreamsAndMovesTheRest) {
  const std::vector<std::string> items = {Chunk("aaaa", "1"), Chunk("bbbb", "22"), Chunk("cccc", "333")};
  const auto layout = [&](int without) {
    std::string nested;
    for (int i = 0; i < 3; ++i)
      if (i != without) nested += items[i];
    return File(Chunk("list", nested) + Chunk("last", "L"));
  };
  const char ids[3][5] = {"aaaa", "bbbb", "cccc"};
  for (int doomed = 0; doomed < 3; ++doomed) {
    SCOPED_TRACE(doomed);
    TRef<chf::CChunkFile> root = Open(layout(-1), true);
    TRef<chf::CChunkStream> last = Stream(*root, "last");
    Find(*root, "list");
    TRef<chf::CChunkIterator> list = TRef<chf::CChunkIterator>::adopt(root->OpenChunkIterator());
    TRef<chf::CChunkStream> open[3];
    for (int i = 0; i < 3; ++i) open[i] = Stream(*list, ids[i]);
    Find(*list, ids[doomed]);
    chf::DeleteChunk(*list);
    EXPECT_TRUE(!list->IsOnChunk() && list->GetChunkId() == 0 && list->GetChunkSize() == 0);
    // The enclosing cursor stays on the list, which shrank.
    EXPECT_TRUE(root->IsOnChunk());
    EXPECT_EQ(root->GetChunkSize(), layout(doomed).size() - 16 - 12 - 13);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(open[i]->IsRemoved(), i == doomed);
    // The walk goes on with the chunk that followed.
    EXPECT_EQ(list->Next(), doomed < 2);
    if (doomed < 2) {
      EXPECT_EQ(list->GetChunkId(), chf::ChunkId(ids[doomed + 1]));
    }
    EXPECT_EQ(ReadAll(*open[doomed == 0 ? 1 : 0]), items[doomed == 0 ? 1 : 0].substr(12));
    EXPECT_EQ(ReadAll(*last), "L");
    Release(open[0], open[1], open[2], list, last, root);
    EXPECT_EQ(ReadFile(path()), layout(doomed));
  }
}

TEST_F(ChunkFiles, ATailBeyondTheCopyBufferMovesWholeBothWays) {
  const std::string big = Pattern(3 * chf::CBaseStream::kCopyBufferSize + 1234);
  const std::string original = File(Chunk("head", "h") + Chunk("big ", big));
  TRef<chf::CChunkFile> root = Open(original, true);
  TRef<chf::CChunkStream> head = Stream(*root, "head"), tail = Stream(*root, "big ");
  head->Insert(5);
  EXPECT_EQ(ReadAll(*tail), big);
  head->Seek(0);
  head->Remove(1);
  head->Remove(4);
  EXPECT_EQ(ReadAll(*tail), big);
  Release(head, tail, root);
  EXPECT_EQ(ReadFile(path()), original);
  // Growing the file once the copy buffer has held data still adds zeros.
  const TRef<chf::CBaseStream> file = chf::OpenReadWriteFileStream(path());
  file->Seek(20);
  file->Insert(2);
  file->Extend(original.size() + 2 + 7);
  EXPECT_EQ(ReadFile(path()).substr(original.size() + 2), std::string(7, '\0'));
  EXPECT_EQ(file->Tell(), 20u);
}

TEST_F(ChunkFiles, CreatingAndAppendingWriteExactlyTheFormatsBytes) {
  chf::CreateChunkFile(path(), "URESFILE");
  EXPECT_EQ(ReadFile(path()), File(""));
  EXPECT_THROW(chf::CreateChunkFile(path(), "OTHERTAG"), std::invalid_argument);
  EXPECT_EQ(ReadFile(path()), File(""));
  TRef<chf::CChunkFile> root = Open(File(""), true);
  EXPECT_EQ(chf::AppendChunk(*root, chf::ChunkId("lang"), "en", 2), 12u);
  root->Rewind();
  EXPECT_EQ(chf::AppendChunk(*root, chf::ChunkId("dir "), nullptr, 0), 26u);
  Find(*root, "dir ");
  TRef<chf::CChunkIterator> dir = TRef<chf::CChunkIterator>::adopt(root->OpenChunkIterator());
  chf::AppendChunk(*dir, chf::ChunkId("item"), "123", 3);
  Release(dir, root);
  EXPECT_EQ(ReadFile(path()), File(Chunk("lang", "en") + Chunk("dir ", Chunk("item", "123"))));
}

}  // namespace
