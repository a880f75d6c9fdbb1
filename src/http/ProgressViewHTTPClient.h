#pragma once

#include <memory>

namespace ui {
class ProgressView;
}

namespace kt {
class HCURLSessionTask;
}

// Ties a progress bar to the bytes a session task sends or receives. Main thread only.
//
// The bar follows the task's byte counts ("countOfBytesSent" with countOfBytesExpectedToSend for
// upload, "countOfBytesReceived" with countOfBytesExpectedToReceive for download): whenever the
// count has changed and the expected total is above 0, the progress becomes count / total (as a
// float), animated by the flag stored for that direction. Our tasks announce no byte-count
// changes of their own (the session manager's progress objects have one observer, which the
// manager's own progress callbacks use), so the counts are sampled on the main run loop, in the
// common modes, every PollInterval while the task runs; that is where observed changes would be
// delivered anyway. The task's completion (HCTaskCompletedNotification, or its state read as
// completed) takes one last sample and ends the following.
//
// A view follows one task per direction: a later call replaces the earlier one for that
// direction (a null or completed task only stops the following).
namespace kt::HTTPClient {

inline constexpr double ProgressPollInterval = 1.0 / 60;

// `setProgressWithUploadProgressOfTask:animated:`
void setProgressWithUploadProgressOfTask(const std::shared_ptr<ui::ProgressView>& view,
                                         const std::shared_ptr<HCURLSessionTask>& task, bool animated);
// `setProgressWithDownloadProgressOfTask:animated:`
void setProgressWithDownloadProgressOfTask(const std::shared_ptr<ui::ProgressView>& view,
                                           const std::shared_ptr<HCURLSessionTask>& task, bool animated);

// `hc_uploadProgressAnimated`, `hc_downloadProgressAnimated`: the stored flags (false until set).
bool uploadProgressAnimated(const ui::ProgressView& view);
bool downloadProgressAnimated(const ui::ProgressView& view);

// Whether the view follows a task in that direction now.
bool isFollowingUploadProgress(const ui::ProgressView& view);
bool isFollowingDownloadProgress(const ui::ProgressView& view);

}  // namespace kt::HTTPClient
