// Saving and loading a game state with data streams: a player with a score, a
// position and an inventory, written to a file and read back whole.
//
// Shows: a serialisable class and its data type (how one object's body is
// written and read), nested objects and a list inside the state, an object
// held twice that is written once and comes back shared, and "data::<url>"
// with UrlSaveObject / UrlLoadObject. No window is needed.
//
//   example-save-game [file]   saves to, and loads from, file (a temporary one by default)
#include <corvex/app/app.h>
#include <corvex/runtime/list.h>
#include <corvex/runtime/serializable.h>
#include <corvex/stream/stream.h>
#include <corvex/stream/url.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace cvx;

namespace {

// One kind of thing the player carries.
class TItem final : public TSerializable {
 public:
  explicit TItem(String n = {}, std::int32_t c = 0) : name(n), count(c) {}
  String name;
  std::int32_t count;
  Ref<TDataType> DataTypeOf() override;
};

// The whole saved game. `equipped` is one of the inventory's items.
class TGameState final : public TSerializable {
 public:
  String player;
  std::int32_t score = 0;
  float x = 0, y = 0;
  Ref<TList> inventory = NewList();
  Ref<TItem> equipped;
  Ref<TDataType> DataTypeOf() override;
};

// A data type names its class in the stream ("example.Item") and writes and
// reads the body. The data stream frames each object and numbers it, so the
// bodies only hold fields; other objects go through WriteSerialized.
class TItemType final : public TDataType {
 public:
  String TypeName() override { return "example.Item"_s; }
  void WriteData(TObject* object, TStreamBase* base) override {
    auto* item = As<TItem>(object);
    auto* out = As<TByteStream>(base);
    out->WriteTextLine(item->name);
    out->WriteInt32(item->count);
  }
  Ref<TObject> ReadData(TStreamBase* base) override {
    auto* in = As<TByteStream>(base);
    String name = in->ReadTextLine();  // the fields in the order they were written
    return MakeRef<TItem>(name, in->ReadInt32());
  }
};

class TGameStateType final : public TDataType {
 public:
  String TypeName() override { return "example.GameState"_s; }
  void WriteData(TObject* object, TStreamBase* base) override {
    auto* state = As<TGameState>(object);
    auto* out = As<TByteStream>(base);
    out->WriteTextLine(state->player);
    out->WriteInt32(state->score);
    out->WriteFloat32(state->x);
    out->WriteFloat32(state->y);
    out->WriteSerialized(state->inventory.Get());  // a list: its items follow
    out->WriteSerialized(state->equipped.Get());   // already written: a back-reference
  }
  Ref<TObject> ReadData(TStreamBase* base) override {
    auto* in = As<TByteStream>(base);
    Ref<TGameState> state = MakeRef<TGameState>();
    state->player = in->ReadTextLine();
    state->score = in->ReadInt32();
    state->x = in->ReadFloat32();
    state->y = in->ReadFloat32();
    state->inventory = RefCast<TList>(in->ReadSerialized());
    state->equipped = RefCast<TItem>(in->ReadSerialized());
    return state;
  }
};

// One instance of each data type, made on first use (after start-up); making
// it registers its name for the readers.
Ref<TDataType> ItemType() {
  static Ref<TDataType> type = MakeRef<TItemType>();
  return type;
}
Ref<TDataType> GameStateType() {
  static Ref<TDataType> type = MakeRef<TGameStateType>();
  return type;
}
Ref<TDataType> TItem::DataTypeOf() { return ItemType(); }
Ref<TDataType> TGameState::DataTypeOf() { return GameStateType(); }

void Print(const char* title, TGameState* s) {
  std::printf("%s: %s, score %d, at (%.2f, %.2f), carries %d things, holds the %s\n", title, s->player.ToStd().c_str(),
              s->score, s->x, s->y, ListLength(s->inventory.Get()),
              s->equipped ? s->equipped->name.ToStd().c_str() : "-");
}

int Game(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string path =
      argc > 1 ? argv[1]
               : std::string(tmp && *tmp ? tmp : "/tmp") + "/corvex-save-" + std::to_string(getpid()) + ".dat";
  // The reader needs the types registered before it meets their names.
  ItemType();
  GameStateType();

  Ref<TGameState> saved = MakeRef<TGameState>();
  saved->player = "Ada";
  saved->score = 12450;
  saved->x = 128.5f;
  saved->y = 64.25f;
  Ref<TItem> sword = MakeRef<TItem>("sword"_s, 1);
  saved->inventory->PushBack(sword);
  saved->inventory->PushBack(MakeRef<TItem>("potion"_s, 4));
  saved->equipped = sword;
  Print("saved", saved.Get());

  // "data::" puts a data stream over the file stream that the path opens.
  UrlSaveObject(saved.Get(), String("data::" + path));
  Ref<TGameState> loaded = RefCast<TGameState>(UrlLoadObject(String("data::" + path)));
  if (argc <= 1) std::remove(path.c_str());
  if (!loaded) {
    std::fprintf(stderr, "no game state could be read from %s\n", path.c_str());
    return 1;
  }
  Print("loaded", loaded.Get());

  auto* first = As<TItem>(loaded->inventory->Front().Get());
  const bool same = loaded->player == saved->player && loaded->score == 12450 && loaded->x == 128.5f &&
                    loaded->y == 64.25f && ListLength(loaded->inventory.Get()) == 2 && first &&
                    first->name == "sword"_s && loaded->equipped.Get() == first;
  std::printf("%s\n", same ? "the loaded state is the saved one (and the sword is shared)" : "the states DIFFER");
  return same ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) { return RunProgram(argc, argv, Game); }
