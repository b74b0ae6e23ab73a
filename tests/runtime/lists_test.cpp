#include "runtime/lists.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Item {
  int32_t id;
  float x;
  float y;
  int32_t life;
  uint8_t flags[8];
};

// Ids from first to last, following the next links; also checks that the
// previous links mirror them and that first/last are right.
std::vector<int32_t> Ids(const ListHandle<Item>& list) {
  std::vector<int32_t> ids;
  const ListElement<Item>* previous = nullptr;
  for (const ListElement<Item>* e = list.first; e != nullptr; e = e->next) {
    EXPECT_EQ(e->previous, previous);
    ids.push_back(e->payload.id);
    previous = e;
  }
  EXPECT_EQ(list.last, previous);
  return ids;
}

int32_t CurrentId(ListHandle<Item>& list) {
  Item* item = ListCurrent(list);
  return item != nullptr ? item->id : -1;
}

// A list of elements 1..n, added with the append pattern the game uses.
void Fill(ListHandle<Item>& list, int n) {
  ListNew(list);
  for (int i = 1; i <= n; ++i) {
    while (ListNext(list) != nullptr) {
    }
    ListAdd(list)->id = i;
  }
}

TEST(Lists, EmptyListAndFirstElement) {
  ListHandle<Item> list;
  ListNew(list);
  EXPECT_EQ(ListNext(list), nullptr);
  EXPECT_EQ(ListCurrent(list), nullptr);
  EXPECT_EQ(ListCount(list), 0);
  ListDelete(list);  // nothing to delete
  EXPECT_EQ(ListCount(list), 0);

  Item* only = ListAdd(list);
  ASSERT_NE(only, nullptr);
  only->id = 1;
  EXPECT_EQ(list.first, list.last);
  EXPECT_EQ(ListCurrent(list), only);
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{1}));

  ListDelete(list);
  EXPECT_EQ(ListCount(list), 0);
  EXPECT_EQ(list.first, nullptr);
  EXPECT_EQ(list.last, nullptr);
  EXPECT_EQ(ListCurrent(list), nullptr);
}

TEST(Lists, NewPayloadIsAllZero) {
  ListHandle<Item> list;
  ListNew(list);
  for (int round = 0; round < 20; ++round) {
    Item* item = ListAdd(list);
    Item zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(std::memcmp(item, &zero, sizeof zero), 0);
    std::memset(item, 0xff, sizeof *item);  // dirty it so reused memory would show
    ListDelete(list);
  }
}

TEST(Lists, AddPositionFollowsTheCursor) {
  ListHandle<Item> list;
  ListNew(list);
  ListAdd(list)->id = 1;  // cursor never set: front
  ListAdd(list)->id = 2;  // after current (1)
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{1, 2}));

  ListReset(list);
  ListAdd(list)->id = 0;  // after reset: front
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{0, 1, 2}));

  ListReset(list);
  while (ListNext(list) != nullptr) {
  }
  EXPECT_EQ(CurrentId(list), 2);  // a finished walk leaves the cursor on the last
  ListAdd(list)->id = 3;          // so this appends
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{0, 1, 2, 3}));

  ListReset(list);
  ListNext(list);
  ListNext(list);         // on 1
  ListAdd(list)->id = 9;  // inserted in the middle
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{0, 1, 9, 2, 3}));
  EXPECT_EQ(CurrentId(list), 9);
  EXPECT_EQ(ListCount(list), 5);
}

// Walks from ListReset, deleting the element with id victim, and returns the
// ids visited in that walk.
std::vector<int32_t> WalkDeleting(ListHandle<Item>& list, int32_t victim) {
  std::vector<int32_t> visited;
  ListReset(list);
  while (Item* item = ListNext(list)) {
    visited.push_back(item->id);
    if (item->id == victim) ListDelete(list);
  }
  return visited;
}

TEST(Lists, DeletingDuringAWalk) {
  ListHandle<Item> list;

  // Deleting the first element skips the one that becomes first.
  Fill(list, 3);
  ListReset(list);
  ListNext(list);
  ListDelete(list);
  EXPECT_EQ(CurrentId(list), 2);
  EXPECT_EQ(ListNext(list)->id, 3);
  Fill(list, 3);
  EXPECT_EQ(WalkDeleting(list, 1), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{2, 3}));
  // The skipped element is visited by the next walk.
  EXPECT_EQ(WalkDeleting(list, -1), (std::vector<int32_t>{2, 3}));

  // Deleting a middle element moves back to its predecessor: nothing skipped.
  Fill(list, 3);
  ListReset(list);
  ListNext(list);
  ListNext(list);
  ListDelete(list);
  EXPECT_EQ(CurrentId(list), 1);
  EXPECT_EQ(ListNext(list)->id, 3);
  Fill(list, 3);
  EXPECT_EQ(WalkDeleting(list, 2), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{1, 3}));

  // Deleting the last element ends the walk with its predecessor as last.
  Fill(list, 3);
  EXPECT_EQ(WalkDeleting(list, 3), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(CurrentId(list), 2);
  EXPECT_EQ(list.last->payload.id, 2);
  EXPECT_EQ(ListNext(list), nullptr);
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{1, 2}));

  // Directly after ListReset, ListDelete changes nothing.
  Fill(list, 3);
  ListReset(list);
  ListDelete(list);
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{1, 2, 3}));
}

TEST(Lists, ShotPatternDeletingEverythingInOneWalk) {
  // Every element expires in the same frame: deleting the first element hides
  // the one that becomes first, which survives until the next walk.
  ListHandle<Item> list;
  Fill(list, 7);
  std::vector<int32_t> visited;
  ListReset(list);
  while (Item* item = ListNext(list)) {
    visited.push_back(item->id);
    ListDelete(list);
  }
  EXPECT_EQ(visited, (std::vector<int32_t>{1, 3, 4, 5, 6, 7}));
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{2}));
}

TEST(Lists, ClearEmptiesListsOfEverySize) {
  for (int n : {0, 1, 2, 4, 5}) {
    ListHandle<Item> list;
    Fill(list, n);
    ASSERT_EQ(ListCount(list), n);
    ListNext(list);
    ListClear(list);
    EXPECT_EQ(ListCount(list), 0) << n;
    EXPECT_EQ(ListCurrent(list), nullptr) << n;
    EXPECT_EQ(list.first, nullptr) << n;
    EXPECT_EQ(list.last, nullptr) << n;
    ListAdd(list)->id = 42;  // still usable afterwards
    EXPECT_EQ(Ids(list), (std::vector<int32_t>{42}));
  }
}

TEST(Lists, NewAgainFreesOldElementsAndPayloadsMayOwnMemory) {
  // A payload with its own heap memory is destroyed properly on delete,
  // on ListNew and when the handle goes away (checked by the sanitizers).
  struct Line {
    std::string text;
  };
  ListHandle<Line> lines;
  ListNew(lines);
  for (int i = 0; i < 5; ++i) ListAdd(lines)->text = std::string(100, static_cast<char>('a' + i));
  ListReset(lines);
  ListNext(lines);
  ListDelete(lines);
  EXPECT_EQ(ListCount(lines), 4);
  ListNew(lines);
  EXPECT_EQ(ListCount(lines), 0);
  EXPECT_EQ(ListCurrent(lines), nullptr);
  ListAdd(lines)->text = std::string(1000, 'z');
  EXPECT_EQ(ListCurrent(lines)->text.size(), 1000u);
}

}  // namespace
