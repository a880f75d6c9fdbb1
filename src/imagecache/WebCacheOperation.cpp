#include "imagecache/WebCacheOperation.h"

#include "platform/core/ThreadCheck.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewAssociation.h"

#include <map>

namespace kt::WebCacheOperation {

namespace {

using Registry = std::map<std::string, ICWebImageOperationList>;

ui::ViewAssociation<ui::View, Registry>& registries() {
  // Never destroyed: it holds loads that pool threads run while the process exits.
  static auto* table = new ui::ViewAssociation<ui::View, Registry>;
  return *table;
}

// Takes the key's loads out of the registry, so that a load cancelled below that starts another
// load into the same view finds the registry in order.
ICWebImageOperationList take(const std::shared_ptr<ui::View>& view, const std::string& key) {
  Registry* registry = view ? registries().find(view.get()) : nullptr;
  if (!registry) return {};
  auto found = registry->find(key);
  if (found == registry->end()) return {};
  ICWebImageOperationList operations = std::move(found->second);
  registry->erase(found);
  return operations;
}

}  // namespace

void ic_setImageLoadOperation(const std::shared_ptr<ui::View>& view, std::shared_ptr<ICWebImageOperation> operation,
                              const std::string& key) {
  ICWebImageOperationList one;
  if (operation) one.push_back(std::move(operation));
  ic_setImageLoadOperation(view, std::move(one), key);
}

void ic_setImageLoadOperation(const std::shared_ptr<ui::View>& view, ICWebImageOperationList operations,
                              const std::string& key) {
  KT_ASSERT_MAIN_THREAD();
  if (!view) return;
  ic_cancelImageLoadOperationWithKey(view, key);
  registries().valueFor(view)[key] = std::move(operations);
}

void ic_cancelImageLoadOperationWithKey(const std::shared_ptr<ui::View>& view, const std::string& key) {
  KT_ASSERT_MAIN_THREAD();
  for (const auto& operation : take(view, key)) {
    if (operation) operation->cancel();
  }
}

void ic_removeImageLoadOperationWithKey(const std::shared_ptr<ui::View>& view, const std::string& key) {
  KT_ASSERT_MAIN_THREAD();
  take(view, key);
}

}  // namespace kt::WebCacheOperation
