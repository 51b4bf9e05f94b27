#pragma once
// Image capture and saving. Four layers:
//   CaptureSingleImage_low_level  one camera exposure, serialised by the capture semaphore and
//                                 spaced by the minimum capture interval;
//   CaptureFirstActiveImageType   one image of the first active image type (or of a given one);
//   CaptureSingleImageSet         one image of every active image type, handed back or saved as a
//                                 manual capture into a new experiment;
//   AddImageToExperiment          checks an image, writes it as a 16-bit PNG with its XMP
//                                 properties into the current experiment's Images folder and adds
//                                 its row to the experiment's capture log.
// Image types are the four slots IsActiveN, ImageTypeNameN and ImageTypeExposureN of
// [ExperimentSettings] in the main settings file, read at every capture.
//
// The capture workflow thread waits on the capture event; each signal captures every active image
// type and saves it with the next image index of the current experiment. Start-up creates it
// (CreateImageCaptureWorkflowThread) together with the capture semaphore: before that every
// capture fails with the message that names it.
#include "Ostravo/EString.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <functional>
#include <string>

// The image-type index (0..3) of the latest capture; -1 before any.
int32_t CurrentIllumChannel();

// Creates the capture semaphore and event and starts the workflow thread; false when it runs
// already or the thread cannot be started.
bool CreateImageCaptureWorkflowThread(EString &error);
// Stops and joins the workflow thread and removes the semaphore (program exit, tests).
void StopImageCaptureWorkflowThread();
// Releases the workflow thread for one capture of every active image type.
void SetImageCaptureEvent();
// Resets the event (the capture-period check does, before its answer).
void ResetImageCaptureEvent();

bool CaptureSingleImage_low_level(cv::Mat &image, int imageTypeIndex, int32_t exposureUs, EString &error);
// With a type name, an index of 0 or more and an exposure of 0 or more these are used as given;
// otherwise the first active image type is taken. typeNameOut (may be null) receives its name.
bool CaptureFirstActiveImageType(cv::Mat &image, int imageTypeIndex, int32_t exposureUs,
                                 const char *imageTypeName, EString &error, EString *typeNameOut);
// One image of every active image type (with a filter only the type of that name, ignoring case).
// With images, image N goes to images[N - 1] (the caller deletes it) and nothing is saved. Without,
// the images are saved as a manual capture into a new experiment "Manual_Image_Capture", made
// before the first save; a failed creation ends the capture with its message.
bool CaptureSingleImageSet(EString &error, const char *typeNameFilter, cv::Mat *images[4]);

bool AddImageToExperiment(const cv::Mat &image, const char *imageTypeName, int imageIndex, int32_t exposureUs,
                          EString &error, const char *prefix);
// The eight XMP properties of a saved image; failures go to the error log.
bool WriteImageMetadata(const char *filePath, const char *imageTypeName, int32_t exposureUs, int imageIndex);

// The capture log's fixed texts.
extern const char *const kCaptureLogColumnsWithPumps;
extern const char *const kCaptureLogColumnsWithoutPumps;
// The Split column: "NaN" unless the workflow runs, then -round(50 - 100 * fraction).
std::string CaptureLogSplitText(bool workflowRunning, double splitFraction);

// Test hook: replaces the waits of the low-level capture (spacing and settle time); null restores
// the real sleep.
void SetCaptureSleepForTesting(std::function<void(uint32_t)> sleep);
