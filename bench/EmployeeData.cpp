#include "bench/EmployeeData.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <utility>

namespace velmora {

namespace {

constexpr uint64_t kSeed = 0x5EEDC0FFEE123457ull;

// splitmix64: tiny, fast and fully specified, so the data never depends on a library's
// distribution code.
class Random {
 public:
  explicit Random(uint64_t seed) : state(seed) {}
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int below(int bound) { return static_cast<int>(next() % static_cast<uint64_t>(bound)); }

 private:
  uint64_t state;
};

std::string word(Random& random) {
  std::string letters(static_cast<size_t>(3 + random.below(10)), 'a');
  for (char& c : letters) c = static_cast<char>('a' + random.below(26));
  return letters;
}

[[noreturn]] void fail(const char* what, HRESULT result) {
  fprintf(stderr, "velmora_bench: %s failed with 0x%08X\n", what, static_cast<unsigned>(result));
  exit(2);
}

}  // namespace

const std::vector<Employee>& employees(int n) {
  static std::map<int, std::vector<Employee>> cache;
  std::vector<Employee>& rows = cache[n];
  if (static_cast<int>(rows.size()) == n) return rows;
  Random random(kSeed);
  const int departments = departmentCount(n);
  rows.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    Employee employee;
    employee.name = word(random);
    employee.surname = word(random);
    employee.age = random.below(100);
    employee.department = random.below(departments);
    rows.push_back(std::move(employee));
  }
  return rows;
}

int departmentCount(int n) { return n / 100 > 0 ? n / 100 : 1; }

std::string departmentName(int department) { return "department" + std::to_string(department); }

HRESULT defineTables(IVelmoraDatabase* database, bool withDepartments) {
  int32_t index = 0;
  HRESULT result = database->CreateDatabase("employees", 1);
  if (withDepartments) {
    if (result == S_OK) result = database->CreateTemporaryTable();
    if (result == S_OK) result = database->AddField("name", 1, &index);
    if (result == S_OK) result = database->CreateTable("department", &index);
  }
  if (result == S_OK) result = database->CreateTemporaryTable();
  if (result == S_OK) result = database->AddField("name", 1, &index);
  if (result == S_OK) result = database->AddField("surname", 1, &index);
  if (result == S_OK) result = database->AddField("age", 0, &index);
  if (withDepartments && result == S_OK) {
    result = database->AddRelationField("department", "department", &index);
  }
  if (result == S_OK) result = database->CreateTable("employee", &index);
  return result;
}

HRESULT addDepartments(IVelmoraDatabase* database, int count) {
  int32_t record = 0;
  HRESULT failures = S_OK;
  for (int d = 0; d < count; ++d) {
    failures |= database->ChooseTable("department");
    failures |= database->SetString("name", departmentName(d).c_str());
    failures |= database->AddRecord(&record, -1);
  }
  return failures;
}

HRESULT addEmployees(IVelmoraDatabase* database, const std::vector<Employee>& rows,
                     bool withDepartments) {
  int32_t record = 0;
  HRESULT failures = S_OK;
  for (const Employee& employee : rows) {
    failures |= database->ChooseTable("employee");
    failures |= database->SetString("name", employee.name.c_str());
    failures |= database->SetString("surname", employee.surname.c_str());
    failures |= database->SetInt("age", employee.age);
    if (withDepartments) failures |= database->SetRelation("department", employee.department);
    failures |= database->AddRecord(&record, -1);
  }
  return failures;
}

ComponentInstance filledInstance(int n, bool withDepartments) {
  ComponentInstance instance = createInstance();
  const HRESULT defined = defineTables(instance.get(), withDepartments);
  if (defined != S_OK) fail("defining the tables", defined);
  HRESULT added = withDepartments ? addDepartments(instance.get(), departmentCount(n)) : S_OK;
  added |= addEmployees(instance.get(), employees(n), withDepartments);
  if (added != S_OK) fail("adding the records", added);
  return instance;
}

IVelmoraDatabase* keptInstance(int n) {
  static ComponentInstance instance;
  static int filled = -1;
  if (filled != n) {
    instance.reset();
    instance = filledInstance(n, false);
    filled = n;
  }
  return instance.get();
}

const std::string& savedFile(int n, bool withDepartments) {
  static std::map<std::pair<int, bool>, std::string> cache;
  std::string& path = cache[{n, withDepartments}];
  if (!path.empty()) return path;
  const std::string name =
      std::string(withDepartments ? "departments-" : "employees-") + std::to_string(n) + ".xml";
  const std::string target = scratchFile(name);
  uint8_t saved = 0;
  const HRESULT result = filledInstance(n, withDepartments)->Save(target.c_str(), &saved);
  if (result != S_OK || saved != 1) fail("saving the data set", result);
  path = target;
  return path;
}

}  // namespace velmora
