#include "core/datastructs.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace mirel;
using mirel::test::ReportCapture;

namespace
{
std::string Report(const char* message, int line)
{
    return "\n\nfile: core/datastructs, line: " + std::to_string(line) + " \n\n" + message;
}

// The last message as each new report begins (the pre-report hook's view).
std::vector<std::string> g_before;
void RecordBefore()
{
    char buf[1024];
    g_before.push_back(LastAssertMessage(buf, sizeof buf));
}

int g_releases = 0;

// Owns heap memory between OnCreate and OnRelease, so a pool that copies instead of moving
// objects shows up as a double free or a leak under the sanitizers.
struct Probe : ManagedResource
{
    ~Probe() override { delete[] buffer; }
    void OnCreate() override { buffer = new int[4]{handle, handle, handle, handle}; }
    void OnRelease() override
    {
        ++g_releases;
        delete[] buffer;
        buffer = nullptr;
    }
    int* buffer = nullptr;
};

struct Pool : ObjectManagerPooled<Probe>
{
    explicit Pool(int capacity) : ObjectManagerPooled<Probe>(capacity) { g_releases = 0; }
    int IndexOf(int handle) const { return pool.handleToIndex[handle]; }
};
} // namespace

TEST(MiArray, LimitsAreReportedAndTheGrowableOneDoubles)
{
    ReportCapture reports;
    MiArray<int> grows(2, true);
    for (int i = 0; i < 9; ++i)
        grows.Push(i * 3);
    EXPECT_EQ(grows.capacity, 16);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(grows.ElemAt(i), i * 3);
    MiArray<int> a(2);
    for (int v : {4, 5, 6})
        a.Push(v);
    EXPECT_EQ(reports.Last(), Report("MiArray is full and can't grow", 72));
    EXPECT_EQ(a.Pop(), 5);
    EXPECT_EQ(a.Pop(), 4);
    a.Pop();
    EXPECT_EQ(reports.Last(), Report("error on pop", 99));
    EXPECT_EQ(reports.Count(), 2);
    EXPECT_EQ(a.count, 0);

    MiArray<int> b(4);
    b.Push(7);
    b.Push(8);
    SetAssertPreReportHook(RecordBefore);
    for (int index : {2, -1})
    {
        ReportCapture each;
        g_before.clear();
        b.ElemAt(index) = 99; // lands in scratch, never in the array
        ASSERT_EQ(g_before.size(), 2u);
        EXPECT_EQ(g_before[1], Report(("ElemAt: " + std::to_string(index) + " 2").c_str(), 132));
        EXPECT_EQ(each.Last(), Report("error on ElemAt", 135));
    }
    SetAssertPreReportHook(nullptr);
    EXPECT_EQ(b.data[2], 0);
    EXPECT_EQ(b.ElemAt(1), 8);
}

TEST(DTArray, DoublesBeforeCountReachesCapacityAndZeroesNewSpace)
{
    struct Rec
    {
        int32_t a, b;
    };
    ReportCapture reports;
    DTArray<Rec> arr("recs");
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(arr.Append(Rec{i, -i}), i);
    EXPECT_EQ(arr.capacity, 16);
    arr.Append(Rec{15, -15});
    EXPECT_EQ(arr.capacity, 32);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(arr.ElemAt(i).b, -i);
    for (int i = 16; i < arr.capacity; ++i)
        EXPECT_EQ(arr.Data()[i].a | arr.Data()[i].b, 0) << i;
    arr.ElemAt(16).a = 5;
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_EQ(arr.Data()[16].a, 0);
    arr.Clear();
    EXPECT_EQ(arr.count, 0);
    EXPECT_EQ(arr.Data()[3].a, 0);
}

TEST(ObjectManagerPooled, HandlesAfterResetAndSwapOnRelease)
{
    ReportCapture reports;
    Pool mgr(8);
    // Disturb the handle order first; Reset must restore it.
    mgr.Create("x");
    mgr.Create("y");
    mgr.Release(0);
    mgr.ProcessPendingReleases();
    mgr.Clear();
    EXPECT_EQ((std::vector<int>{mgr.Create("a")->handle, mgr.Create("b")->handle, mgr.Create("c")->handle}),
              (std::vector<int>{0, 1, 2}));
    // The last object fills the released one's place.
    mgr.Release(0);
    mgr.ProcessPendingReleases();
    EXPECT_EQ(mgr.Count(), 2);
    EXPECT_EQ((std::vector<int>{mgr.IndexOf(0), mgr.IndexOf(1), mgr.IndexOf(2)}),
              (std::vector<int>{-1, 1, 0}));
    EXPECT_EQ(mgr.Create("d")->handle, 0); // the freed handle is the next one out
    EXPECT_EQ(reports.Count(), 0);
}

TEST(ObjectManagerPooled, HoldsOneLessThanCapacity)
{
    for (int n : {2, 8, 33})
    {
        ReportCapture reports;
        Pool mgr(n);
        for (int i = 0; i < n - 1; ++i)
            ASSERT_NE(mgr.Create(nullptr), nullptr) << i;
        EXPECT_EQ(reports.Count(), 0);
        EXPECT_EQ(mgr.Create("one-too-many"), nullptr);
        EXPECT_EQ(reports.Last(), Report("No free items left in array", 259)) << n;
        EXPECT_EQ(mgr.Count(), n - 1);
        EXPECT_EQ(mgr.Find("one-too-many"), nullptr);
    }
}

TEST(ObjectManagerPooled, NamesUniqueDuplicateAndTooLongAndBadReleases)
{
    ReportCapture reports;
    Pool mgr(8);
    EXPECT_STREQ(mgr.Create(nullptr)->name, "uniqueName_0");
    EXPECT_EQ(mgr.Find("uniqueName_0")->handle, 0);
    EXPECT_STREQ(mgr.Create(nullptr)->name, "uniqueName_1");
    EXPECT_EQ(mgr.Find(nullptr), nullptr);
    EXPECT_EQ(mgr.Find("nobody"), nullptr);
    EXPECT_EQ(reports.Count(), 0);
    mgr.Create("uniqueName_0");
    EXPECT_EQ(reports.Last(), Report("Trying to create an object that already exists: uniqueName_0", 433));

    const std::string name63(63, 'n'), name64(64, 'm');
    mgr.Create(name63.c_str());
    EXPECT_EQ(reports.Count(), 1);
    Probe* longOne = mgr.Create(name64.c_str());
    EXPECT_EQ(reports.Last(), Report("ObjectManagerPooled: name too long", 434));
    ASSERT_NE(longOne, nullptr);
    EXPECT_EQ(std::string(longOne->name), name64.substr(0, 63));
    // The name as the caller formed it finds what was stored, so get-or-create takes no second slot.
    EXPECT_EQ(mgr.Find(name64.c_str()), longOne);
    EXPECT_EQ(mgr.Find((name64 + "_matConst").c_str()), longOne);

    // Releases below the pool pass quietly, above it they are reported; Clear releases every object.
    mgr.Release(-1);
    mgr.Release(7); // in range but not live
    EXPECT_EQ(reports.Count(), 2);
    mgr.Release(8);
    EXPECT_EQ(reports.Last(), Report("ManagedArray: bad index", 288));
    mgr.ProcessPendingReleases();
    EXPECT_EQ(mgr.Count(), 5); // the duplicate was created all the same
    mgr.Clear();
    EXPECT_EQ(g_releases, 5);
    EXPECT_EQ(mgr.Count(), 0);
    EXPECT_EQ(mgr.Find("uniqueName_0"), nullptr);
    EXPECT_EQ(mgr.Create("c")->handle, 0);
    EXPECT_EQ(reports.Count(), 3);
}

TEST(ObjectManagerPooled, ReleasedObjectKeepsHandleUntilProcessed)
{
    ReportCapture reports;
    Pool mgr(8);
    mgr.Create("keep");
    const int h = mgr.Create("gone")->handle;
    mgr.Release(h);
    EXPECT_EQ(mgr.Find("gone"), nullptr);
    ASSERT_NE(mgr.FromHandle(h), nullptr);
    EXPECT_STREQ(mgr.FromHandle(h)->name, "gone");
    EXPECT_EQ(g_releases, 0);
    // Same name again while the old one is pending, then a second release of the old handle.
    Probe* again = mgr.Create("gone");
    ASSERT_NE(again, nullptr);
    const int againHandle = again->handle;
    mgr.Release(h);
    EXPECT_EQ(mgr.Find("gone"), again);
    mgr.ProcessPendingReleases();
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_EQ(reports.Last(), Report("Item is -1, there is a problem", 301));
    EXPECT_EQ(g_releases, 1);
    EXPECT_EQ(mgr.FromHandle(h), nullptr);
    EXPECT_EQ(mgr.Count(), 2);
    EXPECT_EQ(mgr.Find("gone")->handle, againHandle);
}

// Random traffic against a simple model: live objects stay dense and every lookup agrees.
TEST(ObjectManagerPooled, RandomTrafficMatchesModel)
{
    ReportCapture reports;
    const int capacity = 16;
    Pool mgr(capacity);
    std::map<std::string, int> live; // name -> handle
    int pending = 0;                 // released, still holding a slot
    std::mt19937 rng(7);
    for (int step = 0, serial = 0; step < 2000; ++step)
    {
        const unsigned roll = rng() % 10;
        if (roll < 5 && static_cast<int>(live.size()) + pending < capacity - 1)
        {
            const std::string name = "o" + std::to_string(serial++);
            Probe* p = mgr.Create(name.c_str());
            ASSERT_NE(p, nullptr);
            live[name] = p->handle;
        }
        else if (roll < 9 && !live.empty())
        {
            auto it = std::next(live.begin(), static_cast<long>(rng() % live.size()));
            mgr.Release(it->second);
            ASSERT_EQ(mgr.Find(it->first.c_str()), nullptr);
            live.erase(it);
            ++pending;
        }
        else
        {
            mgr.ProcessPendingReleases();
            pending = 0;
            ASSERT_EQ(mgr.Count(), static_cast<int>(live.size()));
            for (int i = 0; i < mgr.Count(); ++i)
                ASSERT_EQ(mgr.IndexOf(mgr.AtIndex(i)->handle), i);
        }
        for (const auto& [name, handle] : live)
        {
            Probe* p = mgr.Find(name.c_str());
            ASSERT_NE(p, nullptr) << name;
            ASSERT_EQ(p->handle, handle);
            ASSERT_EQ(p->buffer[0], handle);
        }
    }
    EXPECT_EQ(reports.Count(), 0);
}

TEST(ObjectManagerPooled, CreateAndReleaseFromTwoThreads)
{
    ReportCapture reports;
    Pool mgr(256);
    std::vector<int> kept[2];
    auto worker = [&](int id)
    {
        for (int i = 0; i < 100; ++i)
        {
            Probe* p = mgr.Create(("t" + std::to_string(id) + "_" + std::to_string(i)).c_str());
            if (!p) continue;
            if (i % 2)
                mgr.Release(p->handle);
            else
                kept[id].push_back(p->handle);
        }
    };
    std::thread a(worker, 0), b(worker, 1);
    a.join();
    b.join();
    mgr.ProcessPendingReleases();
    EXPECT_EQ(reports.Count(), 0);
    EXPECT_EQ(mgr.Count(), 100);
    std::set<int> handles;
    for (const auto& list : kept)
        for (int h : list)
        {
            ASSERT_NE(mgr.FromHandle(h), nullptr);
            handles.insert(h);
        }
    EXPECT_EQ(handles.size(), 100u);
    EXPECT_EQ(mgr.Find("t1_98")->handle, kept[1].back());
}
