// Decoding with the worker thread gives the bytes decoding on the calling thread alone gives, damaged files included.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "imgctl/core/interrupt.h"
#include "imgctl/core/jpeg_decoder.h"
#include "imgctl/core/picture.h"
#include "imgctl/core/png_decoder.h"
#include "imgctl/core/worker.h"
#include "imgctl/tests/test_pictures.h"

using namespace imgctl_test;

namespace {

// Large enough that every decoder hands work to the worker (about 1.2 MP).
constexpr int kWidth = 1203, kHeight = 1001;

std::string Source() {
  std::string path = ScratchDir() + "/worker_source.ppm";
  if (ReadFileBytes(path).empty())
    EXPECT_TRUE(RunCommand("convert -seed 5 -size 600x500 plasma:fractal -resize " + std::to_string(kWidth) + "x" +
                           std::to_string(kHeight) + "! -depth 8 " + path));
  return path;
}

#define ADOBE_RGB "/usr/share/color/icc/colord/AdobeRGB1998.icc"

struct WorkerCase {
  const char *name;
  const char *command;  // makes OUT from SRC
  const imgctl::Decoder *decoder;
};

const WorkerCase kCases[] = {
    {"baseline_420", "cjpeg -quality 90 -sample 2x2 SRC > OUT", &imgctl::kJpegDecoder},
    {"baseline_restarts", "cjpeg -quality 90 -sample 2x1 -restart 1B SRC > OUT", &imgctl::kJpegDecoder},
    {"progressive_420", "cjpeg -quality 90 -sample 2x2 -progressive SRC > OUT", &imgctl::kJpegDecoder},
    {"progressive_restarts", "cjpeg -quality 90 -sample 1x1 -progressive -restart 2B SRC > OUT",
     &imgctl::kJpegDecoder},
    {"progressive_grey", "cjpeg -quality 90 -grayscale -progressive SRC > OUT", &imgctl::kJpegDecoder},
    {"png", "convert SRC PNG24:OUT", &imgctl::kPngDecoder},
};

struct Decoded {
  bool ok = false;
  PictureSink sink;
};

void DecodeBothWays(const imgctl::Decoder &decoder, const std::vector<uint8_t> &data, int scale, Decoded *alone,
                    Decoded *beside) {
  imgctl::AllowWorker(false);
  alone->ok = DecodeToPicture(decoder, data, scale, &alone->sink);
  imgctl::AllowWorker(true);
  beside->ok = DecodeToPicture(decoder, data, scale, &beside->sink);
}

// The file whole, cut short, and with bytes of its coded data changed here and there: damage ends
// a scan (a JPEG) or the rows (a PNG) at a point that the other thread must not see differently.
std::vector<std::vector<uint8_t>> Variants(const std::vector<uint8_t> &whole) {
  std::vector<std::vector<uint8_t>> variants = {whole};
  variants.emplace_back(whole.begin(), whole.begin() + whole.size() * 3 / 5);
  std::vector<uint8_t> changed = whole;
  for (size_t at = whole.size() / 3; at < whole.size() - 16; at += whole.size() / 7) changed[at] ^= 0x5A;
  variants.push_back(changed);
  return variants;
}

// The case's file, made once.
std::vector<uint8_t> CaseFile(const WorkerCase &c) {
  std::string out = ScratchDir() + "/worker_" + c.name;
  std::vector<uint8_t> data = ReadFileBytes(out);
  if (!data.empty()) return data;
  std::string command = c.command;
  command.replace(command.find("SRC"), 3, Source());
  command.replace(command.find("OUT"), 3, out);
  EXPECT_TRUE(RunCommand(command)) << c.name;
  return ReadFileBytes(out);
}

TEST(Worker, SameBytesWithAndWithoutTheWorker) {
  for (const WorkerCase &c : kCases) {
    std::vector<std::vector<uint8_t>> variants = Variants(CaseFile(c));
    for (size_t v = 0; v < variants.size(); ++v)
      for (int scale : {1, 4}) {
        Decoded alone, beside;
        DecodeBothWays(*c.decoder, variants[v], scale, &alone, &beside);
        EXPECT_EQ(alone.ok, beside.ok) << c.name << " variant " << v << " 1/" << scale;
        EXPECT_EQ(alone.sink.rows, beside.sink.rows) << c.name << " variant " << v << " 1/" << scale;
        EXPECT_TRUE(alone.sink.picture.pixels == beside.sink.picture.pixels)
            << c.name << " variant " << v << " 1/" << scale;
        EXPECT_FALSE(beside.sink.orderBroken);
        if (v == 0) EXPECT_TRUE(beside.ok) << c.name;
      }
  }
}

// Every thread of this process held to the first processor, or given back all of them.
void HoldToOneProcessor(bool hold) {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (int cpu = 0; cpu < (hold ? 1 : CPU_SETSIZE); ++cpu) CPU_SET(cpu, &set);
  DIR *tasks = opendir("/proc/self/task");
  ASSERT_NE(tasks, nullptr);
  while (dirent *task = readdir(tasks))
    if (task->d_name[0] != '.') sched_setaffinity(pid_t(atoi(task->d_name)), sizeof(set), &set);
  closedir(tasks);
}

// With both threads on one processor the worker comes to its rows late, a time slice at a time:
// the caller finishes rows itself when the ring is full (baseline JPEG, PNG), and the bytes stay
// the same, damaged files included.
TEST(Worker, SameBytesWhenTheWorkerLags) {
  if (!imgctl::WorkerAvailable()) GTEST_SKIP() << "one processor: no worker";
  for (const WorkerCase &c : kCases) {
    if (strstr(c.name, "progressive") != nullptr) continue;  // its scans are shared out task by task
    std::vector<std::vector<uint8_t>> variants = Variants(CaseFile(c));
    for (size_t v = 0; v < variants.size(); ++v)
      for (int scale : {1, 4}) {
        Decoded alone, beside;
        imgctl::AllowWorker(false);
        alone.ok = DecodeToPicture(*c.decoder, variants[v], scale, &alone.sink);
        imgctl::AllowWorker(true);
        HoldToOneProcessor(true);
        beside.ok = DecodeToPicture(*c.decoder, variants[v], scale, &beside.sink);
        HoldToOneProcessor(false);
        EXPECT_EQ(alone.ok, beside.ok) << c.name << " variant " << v << " 1/" << scale;
        EXPECT_TRUE(alone.sink.picture.pixels == beside.sink.picture.pixels)
            << c.name << " variant " << v << " 1/" << scale;
      }
  }
}

// A picture with a profile converts the same with the worker converting rows beside the decode of a
// small picture (an enlargement; a larger decode keeps the worker for itself) or half the resampled
// picture (a reduction) as on the calling thread alone.
TEST(Worker, ConvertedColoursSameBytesWithAndWithoutTheWorker) {
  const WorkerCase kTagged[] = {
      {"adobe_rgb_small", "convert SRC -resize 400x333! -quality 90 -profile " ADOBE_RGB " JPEG:OUT", nullptr},
      {"adobe_rgb", "convert SRC -quality 90 -profile " ADOBE_RGB " JPEG:OUT", nullptr},
  };
  const struct {
    const WorkerCase &file;
    int32_t width, height;
  } kSizes[] = {{kTagged[0], 1604, 1335}, {kTagged[1], 640, 533}};
  for (const auto &size : kSizes) {
    std::vector<uint8_t> data = CaseFile(size.file);
    imgctl::Pixels pixels[2];
    for (bool worker : {false, true}) {
      imgctl::AllowWorker(worker);
      imgctl::Picture picture;
      ASSERT_TRUE(imgctl::OpenPicture(imgctl::FileBytes(data.begin(), data.end()), &picture));
      ASSERT_TRUE(imgctl::ResizePicture(&picture, size.width, size.height));
      pixels[worker] = imgctl::PicturePixels(&picture);
    }
    imgctl::AllowWorker(true);
    EXPECT_EQ(pixels[0].size(), size_t(size.width) * size.height) << size.file.name;
    EXPECT_TRUE(pixels[0] == pixels[1]) << size.file.name;
  }
}

// A job taken back before the worker came to it never runs, and one the worker has taken runs once,
// whatever the moment of the taking back.
int32_t g_jobRuns = 0;
void CountRun(void *) { __atomic_add_fetch(&g_jobRuns, 1, __ATOMIC_RELAXED); }

TEST(Worker, AJobTakenBackNeverRuns) {
  if (!imgctl::WorkerAvailable()) GTEST_SKIP() << "one processor: no worker";
  g_jobRuns = 0;
  int32_t joined = 0;
  for (int i = 0; i < 400; ++i) {
    imgctl::Worker worker;
    ASSERT_TRUE(worker.Start(CountRun, nullptr, nullptr));
    for (volatile int spin = 0; spin < (i % 20) * 200; ++spin) {
    }
    if (!worker.TakeBack()) {
      EXPECT_TRUE(worker.Join());
      ++joined;
    }
  }
  // The worker has woken for every job by the time it runs this one.
  imgctl::Worker last;
  ASSERT_TRUE(last.Start(CountRun, nullptr, nullptr));
  EXPECT_TRUE(last.Join());
  EXPECT_EQ(__atomic_load_n(&g_jobRuns, __ATOMIC_RELAXED), joined + 1);
}

// A check that fires at its third question, a few rows into the decode.
int g_questions = 0;
bool FiresAtThirdQuestion() { return ++g_questions >= 3; }

// A decode stopped for the caller (the saver has a key to answer) leaves the picture undecoded, with
// or without the worker; the next draw decodes it whole.
TEST(Worker, InterruptedDecodeLeavesThePictureUndecoded) {
  for (const WorkerCase &c : kCases) {
    std::vector<uint8_t> data = CaseFile(c);
    for (bool worker : {false, true}) {
      imgctl::AllowWorker(worker);
      imgctl::Picture picture;
      ASSERT_TRUE(imgctl::OpenPicture(imgctl::FileBytes(data.begin(), data.end()), &picture)) << c.name;
      ASSERT_TRUE(imgctl::ResizePicture(&picture, 640, 480));
      {
        g_questions = 0;
        imgctl::InterruptScope scope(FiresAtThirdQuestion);
        EXPECT_TRUE(imgctl::PicturePixels(&picture).empty()) << c.name << " worker " << worker;
        EXPECT_FALSE(picture.decoded);
      }
      EXPECT_EQ(imgctl::PicturePixels(&picture).size(), size_t(640) * 480) << c.name << " worker " << worker;
    }
  }
  imgctl::AllowWorker(true);
}

}  // namespace
