#include "com/collection.h"

#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "com/com_object.h"
#include "com/com_support.h"
#include "com/tavirex_h.h"
#include "com/vba_collection_h.h"
#include "hostenv/win32/late_bound.h"
#include "hostenv/win32/text.h"
#include "plugin/vb_collection.h"

namespace tavirex::com {
namespace {

constexpr const wchar_t* kSource = L"Tavirex.Collection";

using Items = std::vector<ComVariant>;

// Walks a copy of the items taken when the enumeration began, as For Each
// sees them.
class ItemEnumerator final : public ComObject<ItemEnumerator, IEnumVARIANT, &IID_IEnumVARIANT> {
 public:
  ItemEnumerator(std::shared_ptr<const Items> items, std::size_t next)
      : items_(std::move(items)), next_(next) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override {
    if (out == nullptr) return E_POINTER;
    ULONG done = 0;
    try {
      for (; done < count && next_ < items_->size(); ++done, ++next_) {
        (*items_)[next_].CopyTo(&out[done]);
      }
    } catch (...) {
      for (ULONG i = 0; i < done; ++i) VariantClear(&out[i]);
      if (fetched != nullptr) *fetched = 0;
      return E_OUTOFMEMORY;
    }
    if (fetched != nullptr) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    std::size_t left = items_->size() - next_;
    next_ += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    next_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override {
    if (copy == nullptr) return E_POINTER;
    *copy = new (std::nothrow) ItemEnumerator(items_, next_);
    return *copy != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  std::shared_ptr<const Items> items_;
  std::size_t next_;
};

// Position or key, as VB's Collection reads an index argument.
struct Index {
  std::optional<std::int64_t> position;
  std::optional<std::string> key;
};

Index IndexOf(const VARIANT& argument) {
  ComVariant plain(argument);
  if (V_VT(&plain.get()) == VT_BSTR) return {std::nullopt, Utf8FromBstr(V_BSTR(&plain.get()))};
  ComVariant number;
  HRESULT hr = VariantChangeType(number.put(), Source(plain.get()), 0, VT_I4);
  if (hr == DISP_E_OVERFLOW) throw VbError(vberr::kSubscriptOutOfRange);
  if (FAILED(hr)) throw VbError(vberr::kTypeMismatch);
  return {V_I4(&number.get()), std::nullopt};
}

class TavirexCollection;

// The VB runtime's _Collection on the same items, for a host that declares
// its variable As Collection. Its DISPIDs differ from ITavirexCollection's,
// so it has an IDispatch of its own; its IUnknown is the collection's.
class VbaCollectionView final : public _Collection {
 public:
  explicit VbaCollectionView(TavirexCollection& owner) : owner_(owner) {}
  VbaCollectionView(const VbaCollectionView&) = delete;
  VbaCollectionView& operator=(const VbaCollectionView&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    return DispatchGetTypeInfo(IID__Collection, index, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    return DispatchGetIDsOfNames(IID__Collection, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* argument_error) override {
    return DispatchInvoke(IID__Collection, static_cast<_Collection*>(this), member, riid, flags,
                          params, result, exception, argument_error);
  }

  // _Collection
  HRESULT STDMETHODCALLTYPE Item(VARIANT* index, VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE Add(VARIANT* item, VARIANT* key, VARIANT* before,
                                VARIANT* after) override;
  HRESULT STDMETHODCALLTYPE Count(LONG* value) override;
  HRESULT STDMETHODCALLTYPE Remove(VARIANT* index) override;
  HRESULT STDMETHODCALLTYPE _NewEnum(IUnknown** enumerator) override;

 private:
  TavirexCollection& owner_;
};

class TavirexCollection final
    : public AutomationObject<TavirexCollection, ITavirexCollection, &IID_ITavirexCollection> {
  using Base = AutomationObject<TavirexCollection, ITavirexCollection, &IID_ITavirexCollection>;

 public:
  void* InterfaceFor(REFIID riid) {
    if (IsEqualIID(riid, IID__Collection)) return static_cast<_Collection*>(&vba_view_);
    return Base::InterfaceFor(riid);
  }

  void AddString(const std::string& text) {
    BSTR value = BstrFromUtf8(text);
    ComVariant item;
    VARIANT* slot = item.put();
    V_VT(slot) = VT_BSTR;
    V_BSTR(slot) = value;
    items_.Add(std::move(item));
  }

  // ITavirexCollection
  HRESULT STDMETHODCALLTYPE Item(VARIANT* index, VARIANT* value) override {
    if (index == nullptr || value == nullptr) return PlainFailure(E_POINTER);
    VariantInit(value);
    return Call([&] {
      Index at = IndexOf(*index);
      const ComVariant& item = at.key ? items_.Item(*at.key) : items_.Item(*at.position);
      item.CopyTo(value);
    });
  }
  HRESULT STDMETHODCALLTYPE get_Count(LONG* value) override {
    if (value == nullptr) return PlainFailure(E_POINTER);
    *value = static_cast<LONG>(items_.Count());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Add(VARIANT* item, VARIANT* key, VARIANT* before,
                                VARIANT* after) override {
    if (item == nullptr) return PlainFailure(E_POINTER);
    return Call([&] {
      std::optional<std::string> item_key;
      if (!IsMissing(key)) {
        item_key = TextOfVariant(*key);
        if (!item_key) throw VbError(vberr::kTypeMismatch);
      }
      CollectionPlace place;
      if (!IsMissing(before) && !IsMissing(after)) throw VbError(vberr::kInvalidProcedureCall);
      const VARIANT* anchor = nullptr;
      if (!IsMissing(before)) {
        place.relation = CollectionPlace::Relation::kBefore;
        anchor = before;
      } else if (!IsMissing(after)) {
        place.relation = CollectionPlace::Relation::kAfter;
        anchor = after;
      }
      if (anchor != nullptr) {
        Index at = IndexOf(*anchor);
        place.key = at.key;
        if (at.position) place.position = static_cast<std::int32_t>(*at.position);
      }
      items_.Add(ComVariant(*item), item_key, place);
    });
  }
  HRESULT STDMETHODCALLTYPE Remove(VARIANT* index) override {
    if (index == nullptr) return PlainFailure(E_POINTER);
    return Call([&] {
      Index at = IndexOf(*index);
      if (at.key) {
        items_.Remove(*at.key);
      } else {
        items_.Remove(*at.position);
      }
    });
  }
  HRESULT STDMETHODCALLTYPE _NewEnum(IUnknown** enumerator) override {
    if (enumerator == nullptr) return PlainFailure(E_POINTER);
    *enumerator = nullptr;
    return Call([&] {
      auto snapshot = std::make_shared<const Items>(items_.items());
      *enumerator = new ItemEnumerator(std::move(snapshot), 0);
    });
  }

  // ISupportErrorInfo: both interfaces report their failures as error info.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
    return IsEqualIID(riid, IID__Collection) ? S_OK : Base::InterfaceSupportsErrorInfo(riid);
  }

 private:
  // The reference of the call: an item released by Remove may be a host
  // object whose release lets go of this collection.
  template <typename Body>
  HRESULT Call(Body&& body) {
    this->AddRef();
    const HRESULT result = ComCall(IID_ITavirexCollection, kSource, std::forward<Body>(body));
    this->Release();  // may destroy the collection: nothing touches it after this
    return result;
  }

  VbCollection<ComVariant> items_;
  VbaCollectionView vba_view_{*this};
};

HRESULT VbaCollectionView::QueryInterface(REFIID riid, void** object) {
  return owner_.QueryInterface(riid, object);
}
ULONG VbaCollectionView::AddRef() { return owner_.AddRef(); }
ULONG VbaCollectionView::Release() { return owner_.Release(); }
HRESULT VbaCollectionView::Item(VARIANT* index, VARIANT* value) {
  return owner_.Item(index, value);
}
HRESULT VbaCollectionView::Add(VARIANT* item, VARIANT* key, VARIANT* before, VARIANT* after) {
  return owner_.Add(item, key, before, after);
}
HRESULT VbaCollectionView::Count(LONG* value) { return owner_.get_Count(value); }
HRESULT VbaCollectionView::Remove(VARIANT* index) { return owner_.Remove(index); }
HRESULT VbaCollectionView::_NewEnum(IUnknown** enumerator) { return owner_._NewEnum(enumerator); }

}  // namespace

IDispatch* NewStringCollection(const std::vector<std::string>& items) {
  std::unique_ptr<TavirexCollection> collection(new TavirexCollection());
  for (const std::string& item : items) collection->AddString(item);
  return static_cast<ITavirexCollection*>(collection.release());
}

}  // namespace tavirex::com
